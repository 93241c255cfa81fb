#include "connections/implementations/ledger_store/ledger_writes.hpp"

#include "driver/collector_pause.hpp"
#include "connections/core/connection_lifecycle.hpp"
#include "connections/core/deep_copy.hpp"
#include "connections/core/revert_log.hpp"
#include "connections/core/statement_execution.hpp"
#include "driver/python_values.hpp"
#include "connections/implementations/ledger_store/table_kinds.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/field_names.hpp"
#include "connections/sql/json_column_text.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

#include <string>
#include <vector>

namespace nelvor::ledger {

using driver::text_of;
using driver::is_instance;
using driver::interned;

namespace {

struct TargetTable {
    nb::str name;
    bool internal;
    bool is_metadata;
    nb::dict columns;  // the table description; only its keys are used
    nb::dict column_of;  // field name -> column, asked of the registry once per call
    nb::str primary_key;  // the partition keys' names, made once for all rows
    nb::str secondary_key;
};

TargetTable target_table(nb::handle schema_service, nb::handle address) {
    nb::object name = schema_service.attr("resolve_table_name")(address);
    sql::require_text(name, "table_name");
    const std::string text = text_of(name);
    const auto& fw = framework::handles();
    return {nb::borrow<nb::str>(name), is_internal_table(text), text == metadata_table, nb::dict(), nb::dict(),
            driver::to_str(fw.primary_partition_key), driver::to_str(fw.secondary_partition_key)};
}

void read_columns(nb::handle self, TargetTable& table) { table.columns = sql::describe_table(self, table.name); }

// The row to insert: the record's entries with the partition keys set, keys
// mapped to columns, and every key without a column dropped. Values bound
// for json columns become their JSON text at once; every other value is
// copied deeply, so the row shares nothing mutable with the caller's record.
nb::dict shape_row(nb::handle self, TargetTable& table, nb::handle address, nb::handle record) {
    static const nb::handle object_id = interned("object_id"), object_version = interned("object_version");
    nb::dict row;
    if (PyDict_Merge(row.ptr(), record.ptr(), 1) < 0) throw nb::python_error();
    row[table.primary_key] = address.attr(object_id);
    if (table.is_metadata) {
        nb::object record_address = record["address"];
        row[object_id] = record_address[object_id];
        row[object_version] = record_address[object_version];
    }
    if (!table.internal) row[table.secondary_key] = address.attr(object_version);
    // Keys that name the same column: the column stays where it first
    // appeared and takes the last value.
    nb::dict kept;
    PyObject *key, *value;
    Py_ssize_t position = 0;
    while (PyDict_Next(row.ptr(), &position, &key, &value)) {
        PyObject* known = PyDict_GetItemWithError(table.column_of.ptr(), key);
        if (!known && PyErr_Occurred()) throw nb::python_error();
        nb::object column = known ? nb::borrow(known) : nb::object(sql::column_name(self, table.name, key));
        if (!known) table.column_of[key] = column;
        PyObject* data_type = sql::column_type(self, table.name, table.columns, column);
        if (data_type == nullptr) continue;
        // A dict or list for a json column goes as its JSON text, written here rather than by one
        // Python json.dumps per row (see json_column_text).
        nb::object text = sql::json_column_text(value, data_type);
        nb::object stored = text.is_valid() ? std::move(text) : core::deep_copy(value);
        if (PyDict_SetItem(kept.ptr(), column.ptr(), stored.ptr()) < 0) throw nb::python_error();
    }
    return kept;
}

// The keys are column names already, so they must not be mapped once more:
// the multi-row builder writes them as they are (for one row, the same text).
nb::tuple insert_statement(nb::handle self, const TargetTable& table, const nb::list& rows) {
    return sql::build_bulk_insert_statement(self, table.name, rows);
}

void run(nb::handle self, const nb::tuple& statement) { core::execute(self, statement[0], statement[1]); }

struct ClassVersion {
    nb::object class_name;
    nb::object class_version;

    bool same_as(const ClassVersion& other) const {
        return class_name.is_valid() && class_name.equal(other.class_name) &&
               class_version.equal(other.class_version);
    }
};

std::pair<nb::object, nb::object> unpack_pair(nb::handle item) {
    nb::list items = nb::list(item);
    const size_t size = nb::len(items);
    if (size < 2)
        throw nb::value_error(("not enough values to unpack (expected 2, got " + std::to_string(size) + ")").c_str());
    if (size > 2) throw nb::value_error("too many values to unpack (expected 2)");
    return {items[0], items[1]};
}

}  // namespace

void add_revert_data(nb::handle self, nb::handle address, nb::handle data) {
    sql::require_map(data, "data");
    core::append_revert_entry(self, nb::make_tuple(address, data));
}

void put(nb::handle self, nb::handle address, nb::handle data) {
    sql::require_map(data, "data");
    nb::list entries;
    if (core::revert_entries_wanted(self)) entries.append(nb::make_tuple(address.attr("model_copy")(), data));
    TargetTable table = target_table(core::table_schema_manager(self), address);
    read_columns(self, table);
    nb::list rows;
    rows.append(shape_row(self, table, address, data));
    run(self, insert_statement(self, table, rows));
    core::record_revert_entries(self, entries);
}

void bulk_put(nb::handle self, nb::handle data) {
    sql::require_list(data, "data");
    if (nb::len(data) == 0) return;
    std::vector<std::pair<nb::object, nb::object>> pairs;
    for (nb::handle item : data) {
        pairs.push_back(unpack_pair(item));
        sql::require_map(pairs.back().second, "data");
    }
    const bool reverting = core::revert_entries_wanted(self);
    // One INSERT per table, in the order the tables first appear: each row
    // goes to the table its own address names. Each statement's revert
    // entries are recorded once it has succeeded.
    nb::object schema_service = core::table_schema_manager(self);
    std::vector<nb::tuple> statements;
    std::vector<nb::list> entries;
    {
        // The copies are new containers, all gone when the statements are
        // built: the collector would only walk them over and over.
        driver::CollectorPause pause;
        std::vector<TargetTable> tables;
        std::vector<nb::list> rows;
        // A table holds one class version: consecutive addresses of the same
        // class and class version resolve to the table found for the first.
        static const nb::handle class_name = interned("class_name"), class_version = interned("class_version");
        ClassVersion last;
        size_t at = 0;
        for (auto& [address, record] : pairs) {
            ClassVersion current{address.attr(class_name), address.attr(class_version)};
            if (!last.same_as(current)) {
                TargetTable table = target_table(schema_service, address);
                at = 0;
                while (at < tables.size() && !tables[at].name.equal(table.name)) ++at;
                if (at == tables.size()) {
                    read_columns(self, table);
                    tables.push_back(table);
                    rows.emplace_back();
                    entries.emplace_back();
                }
                last = std::move(current);
            }
            rows[at].append(shape_row(self, tables[at], address, record));
            if (reverting) entries[at].append(nb::make_tuple(address.attr("model_copy")(), record));
        }
        for (size_t i = 0; i < tables.size(); ++i) statements.push_back(insert_statement(self, tables[i], rows[i]));
    }
    for (size_t i = 0; i < statements.size(); ++i) {
        run(self, statements[i]);
        core::record_revert_entries(self, entries[i]);
    }
}

void delete_version(nb::handle self, nb::handle address) {
    const auto& fw = framework::handles();
    nb::object version = address.attr("object_version");
    if (is_instance(version, fw.Versions))
        framework::raise_connection_error("Deleting in reverse requires a specific version. Current version is " +
                                          text_of(version) + ".");
    TargetTable table = target_table(core::table_schema_manager(self), address);
    nb::dict keys;
    keys[fw.primary_partition_key.c_str()] = address.attr("object_id");
    // A metadata row belongs to one object version: deleting by the id alone
    // would drop the metadata of every version of the object.
    if (!table.internal || table.is_metadata) keys[fw.secondary_partition_key.c_str()] = version;
    nb::tuple statement = sql::build_delete_statement(self, table.name, keys);
    core::execute(self, statement[0], statement[1]);
}

void revert(nb::handle self) {
    core::revert_innermost_level(self, [&](nb::handle entry) { delete_version(self, entry[0]); });
}

}  // namespace nelvor::ledger
