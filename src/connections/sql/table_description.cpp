#include "connections/sql/table_description.hpp"

#include "connections/core/statement_execution.hpp"
#include "connections/sql/argument_checks.hpp"

namespace nelvor::sql {

namespace {

// Keyed weakly by the connection instance, so an entry goes with its
// connection instead of living for the whole process.
nb::handle memo() {
    static nb::handle instance = nb::module_::import_("weakref").attr("WeakKeyDictionary")().release();
    return instance;
}

nb::dict read_catalogue(nb::handle self, nb::handle table_name) {
    nb::object cursor = core::execute(
        self, "SELECT column_name, data_type FROM information_schema.columns WHERE table_name = %s",
        nb::make_tuple(table_name));
    nb::dict description;
    for (nb::handle row : cursor.attr("fetchall")()) description[row[0]] = row[1];
    return description;
}

}  // namespace

nb::dict describe_table(nb::handle self, nb::handle table_name) {
    require_text(table_name, "table_name");
    nb::object tables = memo().attr("get")(self);
    if (!tables.is_none() && nb::borrow<nb::dict>(tables).contains(table_name))
        return nb::borrow<nb::dict>(tables[table_name]);
    nb::dict description = read_catalogue(self, table_name);
    // A table that does not exist yet must be looked up again once created.
    if (nb::len(description) == 0) return description;
    if (tables.is_none()) {
        tables = nb::dict();
        memo()[self] = tables;
    }
    tables[table_name] = description;
    return description;
}

}  // namespace nelvor::sql
