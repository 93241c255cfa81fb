#include "connections/sql/table_description.hpp"

#include "connections/core/statement_execution.hpp"
#include "connections/sql/argument_checks.hpp"

namespace nelvor::sql {

namespace {

// Keyed weakly by the connection instance, so an entry goes with its
// connection instead of living for the whole process.
nb::handle weak_memo() { return nb::module_::import_("weakref").attr("WeakKeyDictionary")().release(); }

// Connection -> {table name: description}.
nb::handle descriptions() {
    static nb::handle instance = weak_memo();
    return instance;
}

// Connection -> {table name: set of names looked for again}.
nb::handle names_looked_for() {
    static nb::handle instance = weak_memo();
    return instance;
}

// The dict of `memo` for this connection, made on first use.
nb::dict per_connection(nb::handle memo, nb::handle self) {
    nb::object entry = memo.attr("get")(self);
    if (entry.is_none()) {
        entry = nb::dict();
        memo[self] = entry;
    }
    return nb::borrow<nb::dict>(entry);
}

// The table the statements name (the whole name as one quoted identifier),
// found through this session's search_path.
nb::dict read_catalogue(nb::handle self, nb::handle table_name) {
    nb::object cursor = core::execute(
        self,
        "SELECT column_name, data_type FROM information_schema.columns "
        "WHERE (table_schema, table_name) = (SELECT n.nspname::text, c.relname::text FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = to_regclass(quote_ident(%s))) "
        "ORDER BY ordinal_position",
        nb::make_tuple(table_name));
    nb::dict description;
    for (nb::handle row : cursor.attr("fetchall")()) description[row[0]] = row[1];
    return description;
}

nb::dict describe_from_catalogue(nb::handle self, nb::handle table_name) {
    nb::dict description = read_catalogue(self, table_name);
    // A table that does not exist yet must be looked up again once created.
    if (nb::len(description) != 0) per_connection(descriptions(), self)[table_name] = description;
    return description;
}

}  // namespace

nb::dict describe_table(nb::handle self, nb::handle table_name) {
    require_text(table_name, "table_name");
    nb::dict tables = per_connection(descriptions(), self);
    if (tables.contains(table_name)) return nb::borrow<nb::dict>(tables[table_name]);
    return describe_from_catalogue(self, table_name);
}

nb::dict describe_table_with(nb::handle self, nb::handle table_name, nb::handle column) {
    nb::dict description = describe_table(self, table_name);
    if (description.contains(column)) return description;
    nb::dict looked_for = per_connection(names_looked_for(), self);
    if (!looked_for.contains(table_name)) looked_for[table_name] = nb::set();
    nb::set names = nb::borrow<nb::set>(looked_for[table_name]);
    if (names.contains(column)) return description;
    names.add(column);
    return describe_from_catalogue(self, table_name);
}

PyObject* column_type(nb::handle self, nb::handle table_name, nb::dict& columns, nb::handle column) {
    PyObject* data_type = PyDict_GetItemWithError(columns.ptr(), column.ptr());
    if (data_type == nullptr && !PyErr_Occurred()) {
        columns = describe_table_with(self, table_name, column);
        data_type = PyDict_GetItemWithError(columns.ptr(), column.ptr());
    }
    if (data_type == nullptr && PyErr_Occurred()) throw nb::python_error();
    return data_type;
}

}  // namespace nelvor::sql
