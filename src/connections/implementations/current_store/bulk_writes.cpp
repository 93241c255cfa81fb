#include "connections/implementations/current_store/bulk_writes.hpp"

#include "driver/collector_pause.hpp"
#include "connections/core/deep_copy.hpp"
#include "connections/core/revert_log.hpp"
#include "connections/core/store_context.hpp"
#include "connections/implementations/current_store/bulk_statements.hpp"
#include "connections/implementations/current_store/record_writes.hpp"
#include "connections/implementations/current_store/current_support.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/json_column_text.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

namespace nelvor::current {

namespace {

bool is_empty(nb::handle sequence) { return nb::len(sequence) == 0; }

// Up to this many addresses the delete keeps one filter group per address;
// beyond it the ORed groups' quadratic planning outweighs everything else.
constexpr size_t kMostOredGroups = 64;

// A copy of `record` with the values bound for json columns encoded the way
// `insert` encodes them, so one record stores the same whichever way it is
// written (a text such as "123" would otherwise be parsed by the server and
// stored as a number); dicts and lists there become their JSON text at once
// instead of being copied first. Keys that are not columns stay, so the
// server still rejects them.
nb::dict row_for_insert(nb::handle self, nb::dict description, nb::handle record) {
    nb::object items = nb::borrow(record);
    if (!PyDict_CheckExact(record.ptr())) {  // another mapping: its items, read once
        items = nb::dict();
        if (PyDict_Merge(items.ptr(), record.ptr(), 1) < 0) throw nb::python_error();
    }
    nb::dict row;
    PyObject *key, *value;
    Py_ssize_t position = 0;
    while (PyDict_Next(items.ptr(), &position, &key, &value)) {
        PyObject* data_type = PyDict_GetItemWithError(description.ptr(), key);
        if (data_type == nullptr && PyErr_Occurred()) throw nb::python_error();
        nb::object stored;
        if (data_type != nullptr) stored = sql::json_column_text(value, data_type);
        if (!stored.is_valid()) {
            stored = core::deep_copy(value);
            if (data_type != nullptr) stored = sql::process_value_before_insert(self, stored, data_type);
        }
        if (PyDict_SetItem(row.ptr(), key, stored.ptr()) < 0) throw nb::python_error();
    }
    return row;
}

nb::tuple bulk_delete_statement(nb::handle self, nb::handle table_name, nb::handle addresses) {
    if (nb::len(addresses) > kMostOredGroups) {
        nb::list ids;
        for (nb::handle address : addresses) ids.append(object_id_of(address));
        return build_bulk_delete_by_ids_statement(self, table_name, ids);
    }
    nb::list filters;
    for (nb::handle address : addresses) {
        nb::dict filter;
        filter[primary_key()] = object_id_of(address);
        filters.append(filter);
    }
    return build_bulk_delete_statement(self, table_name, filters);
}

}  // namespace

void bulk_insert(nb::handle self, nb::handle data) {
    if (is_empty(data)) return;
    nb::list entries;
    if (core::revert_entries_wanted(self)) {
        for (nb::handle pair : data)
            entries.append(nb::make_tuple(framework::handles().modify_create, pair[0], pair[1]));
    }
    nb::object table_name = resolve_table_name(self, data[nb::int_(0)][0]);
    nb::dict description = sql::describe_table(self, table_name);
    nb::tuple statement;
    {
        // The copies are new containers, all freed once the statement is
        // built: the collector would only walk them over and over.
        driver::CollectorPause pause;
        nb::list rows;
        for (nb::handle pair : data) {
            sql::require_map(pair[1], "data");
            nb::dict row = row_for_insert(self, description, pair[1]);
            row[primary_key()] = object_id_of(pair[0]);
            rows.append(row);
        }
        statement = sql::build_bulk_insert_statement(self, table_name, rows);
    }
    run_statement(self, statement);
    core::record_revert_entries(self, entries);
}

void bulk_update(nb::handle self, nb::handle data) {
    if (is_empty(data)) return;
    if (core::is_revert_enabled(self))
        core::store().logger.attr("warning")("Revert is not supported for bulk update");
    nb::object table_name = resolve_table_name(self, data[nb::int_(0)][0]);
    nb::dict description = sql::describe_table(self, table_name);
    nb::tuple statement;
    {
        driver::CollectorPause pause;  // as in bulk_insert
        nb::list prepared;
        for (nb::handle pair : data) {
            sql::require_map(pair[1], "data");
            prepared.append(nb::make_tuple(pair[0], prepare_record(self, table_name, description, pair[1], true)));
        }
        statement = build_bulk_update_statement(self, prepared);
    }
    run_statement(self, statement);
}

void bulk_delete(nb::handle self, nb::handle addresses) {
    if (is_empty(addresses)) return;
    nb::list entries;
    if (core::revert_entries_wanted(self)) {
        for (nb::handle address : addresses)
            entries.append(nb::make_tuple(framework::handles().modify_delete, address, get_record(self, address)));
    }
    nb::object table_name = resolve_table_name(self, addresses[nb::int_(0)]);
    run_statement(self, bulk_delete_statement(self, table_name, addresses));
    core::record_revert_entries(self, entries);
}

}  // namespace nelvor::current
