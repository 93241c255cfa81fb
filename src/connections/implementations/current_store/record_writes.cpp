#include "connections/implementations/current_store/record_writes.hpp"

#include "connections/core/deep_copy.hpp"
#include "connections/core/revert_log.hpp"
#include "connections/implementations/current_store/current_reads.hpp"
#include "connections/implementations/current_store/current_support.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::current {

namespace {

// The entry that restores what `address` holds now, read before it is
// overwritten or removed; recorded once the write succeeded.
nb::list current_state_entry(nb::handle self, nb::handle operation, nb::handle address) {
    nb::list entries;
    if (core::revert_entries_wanted(self))
        entries.append(nb::make_tuple(operation, address, get_record(self, address)));
    return entries;
}

}  // namespace

void add_revert_data(nb::handle self, nb::handle operation, nb::handle address, nb::handle data) {
    core::append_revert_entry(self, nb::make_tuple(operation, address, data));
}

void insert(nb::handle self, nb::handle address, nb::handle data) {
    sql::require_map(data, "data");
    nb::list entries;
    if (core::revert_entries_wanted(self))
        entries.append(nb::make_tuple(framework::handles().modify_create, address, data));
    nb::object working = core::deep_copy(data);
    working[primary_key()] = object_id_of(address);
    nb::object table_name = resolve_table_name(self, address);
    nb::dict prepared = prepare_record(self, table_name, sql::describe_table(self, table_name), working);
    run_statement(self, sql::build_insert_statement(self, table_name, prepared));
    core::record_revert_entries(self, entries);
}

void update(nb::handle self, nb::handle address, nb::handle data) {
    sql::require_map(data, "data");
    nb::list entries = current_state_entry(self, framework::handles().modify_update, address);
    nb::object working = core::deep_copy(data);
    nb::object table_name = resolve_table_name(self, address);
    nb::dict prepared = prepare_record(self, table_name, sql::describe_table(self, table_name), working);
    run_statement(self, self.attr("_build_update_statement")(address, prepared));
    core::record_revert_entries(self, entries);
}

void delete_record(nb::handle self, nb::handle address) {
    nb::list entries = current_state_entry(self, framework::handles().modify_delete, address);
    nb::object table_name = resolve_table_name(self, address);
    nb::dict filter;
    filter[primary_key()] = object_id_of(address);
    run_statement(self, sql::build_delete_statement(self, table_name, filter));
    core::record_revert_entries(self, entries);
}

nb::object get_record(nb::handle self, nb::handle address) {
    nb::dict lookup;
    lookup["_address__object_id"] = object_id_of(address);
    nb::object conditions = framework::handles().Q(**lookup);
    nb::list records = query(self, address, nb::none(), conditions, nb::none(), nb::none());
    const std::string shown = nb::str(address).c_str();
    if (nb::len(records) > 1) framework::raise_connection_error("Multiple records found for " + shown);
    if (nb::len(records) == 0) {
        // The failed attempt to take the first record becomes the cause.
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        nb::python_error cause;
        framework::raise_connection_error_from(cause, "Record not found for " + shown);
    }
    return records[0];
}

}  // namespace nelvor::current
