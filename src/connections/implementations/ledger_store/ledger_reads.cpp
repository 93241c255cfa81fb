#include "connections/implementations/ledger_store/ledger_reads.hpp"

#include "connections/core/connection_lifecycle.hpp"
#include "connections/core/statement_execution.hpp"
#include "connections/core/store_context.hpp"
#include "connections/implementations/ledger_store/distinct_values.hpp"
#include "driver/python_values.hpp"
#include "connections/implementations/ledger_store/ordering_fields.hpp"
#include "connections/implementations/ledger_store/record_ordering.hpp"
#include "connections/implementations/ledger_store/select_statement.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/result_records.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::ledger {

using driver::text_of;
using driver::is_instance;

using namespace nb::literals;

namespace {

// Classes kept in one table of their own, whose records carry no class version to narrow by.
bool is_unversioned_class(nb::handle address) {
    const std::string name = text_of(nb::str(address.attr("class_name")).attr("lower")());
    return name == "transaction" || name == "metadata" || name == "reference";
}

nb::object table_name_for_version(nb::handle self, nb::handle address, nb::handle class_version) {
    nb::object copy = address.attr("model_copy")();
    nb::setattr(copy, "class_version", class_version);
    nb::object table_name = core::table_schema_manager(self).attr("resolve_table_name")(copy);
    sql::require_text(table_name, "table_name");
    return table_name;
}

bool has_limit(nb::handle pagination) {
    return is_instance(pagination, framework::handles().NumberPaginator) && !pagination.attr("limit").is_none();
}

// Each version's select must hold every record that can land on the page of
// the merged list: the first offset + limit of that version.
nb::object per_version_window(nb::handle pagination) {
    nb::object limit = pagination.attr("limit");
    nb::object offset = pagination.attr("offset");
    nb::object window = offset.is_none() ? limit : nb::steal(PyNumber_Add(limit.ptr(), offset.ptr()));
    if (!window.is_valid()) throw nb::python_error();
    return framework::handles().NumberPaginator("limit"_a = window, "offset"_a = 0);
}

nb::list sorted_records(nb::handle records, nb::handle order_by) {
    nb::object sorted = framework::handles().sort_items(records, order_by);
    if (!PyList_Check(sorted.ptr())) throw nb::type_error("sort_items must return a list");
    return nb::borrow<nb::list>(sorted);
}

}  // namespace

nb::list query(nb::handle self, nb::handle address, nb::handle query_specifier, nb::handle conditions,
               nb::handle pagination, nb::handle order_by) {
    const auto& fw = framework::handles();
    nb::list distinct = distinct_names(query_specifier);
    // With distinct fields the selects are ordered by them first; the merge must agree.
    nb::object ordering = nb::len(distinct) ? nb::object(order_led_by(distinct, order_by)) : nb::borrow(order_by);
    nb::list entries = nb::list(self.attr("_build_queries_by_version")(address, conditions).attr("items")());
    // The merge sorts on the ordering fields: the selects fetch them even
    // where `only` leaves them out, and they are dropped again at the end.
    nb::list added_fields = ordering_fields_left_out(query_specifier, ordering);
    nb::object specifier = nb::borrow(query_specifier);
    if (nb::len(added_fields)) specifier = specifier_with(query_specifier, added_fields);
    // One version: its select cuts the page itself. Several: each select keeps
    // what may reach the page and the merged list is cut once. A nested
    // ordering leaves the whole page to the merge.
    const bool page_to_merge = orders_by_nested_value(ordering);
    const bool page_in_select = nb::len(entries) == 1 && has_limit(pagination) && !page_to_merge;
    nb::object version_pagination = page_to_merge ? nb::none() : nb::borrow(pagination);
    if (!page_in_select && !page_to_merge && has_limit(pagination))
        version_pagination = per_version_window(pagination);
    nb::list records;
    for (nb::handle entry : entries) {
        nb::object class_version = entry[0];
        nb::object version_conditions = entry[1];
        nb::object table_name = table_name_for_version(self, address, class_version);
        if (!is_unversioned_class(address)) {
            nb::object narrowing = fw.Q("_metadata__address__class_version"_a = class_version);
            version_conditions = version_conditions.is_none() ? narrowing : version_conditions & narrowing;
        }
        records.extend(query_table(self, table_name, specifier, version_conditions, version_pagination, ordering));
    }
    if (nb::len(entries) == 0) return nb::borrow<nb::list>(paginate_items(records, pagination));
    records = sorted_records(records, record_ordering(ordering));
    if (!page_in_select) {
        // The same value may come from two class versions.
        if (nb::len(distinct)) records = first_of_each_distinct_value(records, distinct);
        records = nb::borrow<nb::list>(paginate_items(records, pagination));
    }
    drop_fields(records, added_fields);
    return records;
}

nb::object count(nb::handle self, nb::handle address, nb::handle conditions) {
    nb::object total = nb::int_(0);
    nb::object per_version = self.attr("_build_queries_by_version")(address, conditions);
    for (nb::handle entry : per_version.attr("items")()) {
        nb::object table_name = table_name_for_version(self, address, entry[0]);
        nb::tuple statement = nb::tuple(
            self.attr("_build_count_statement")(table_name, entry[1], "use_internal_meta_tables"_a = true));
        nb::object row = core::execute(self, statement[0], nb::tuple(statement[1])).attr("fetchone")();
        if (row.is_none()) continue;
        nb::object value = row[0];
        if (!PyLong_Check(value.ptr())) throw nb::type_error("a count must be an integer");
        total = nb::steal(PyNumber_Add(total.ptr(), value.ptr()));
        if (!total.is_valid()) throw nb::python_error();
    }
    return total;
}

nb::list query_table(nb::handle self, nb::handle table_name, nb::handle query_specifier, nb::handle conditions,
                     nb::handle pagination, nb::handle order_by) {
    sql::require_text(table_name, "table_name");
    nb::tuple statement = nb::tuple(
        build_select_statement(self, table_name, query_specifier, conditions, pagination, order_by, true));
    // Wanted while the rows arrive, so taken before the select runs.
    nb::dict description = sql::describe_table(self, table_name);
    return sql::select_records(self, statement[0], nb::tuple(statement[1]), table_name, description);
}

nb::object paginate_items(nb::handle items, nb::handle pagination) {
    sql::require_list(items, "items");
    const auto& fw = framework::handles();
    if (is_instance(pagination, fw.CursorPaginator)) {
        core::store().logger.attr("warning")("The cursor pagination is not supported by SQLite. It will be ignored.");
        return nb::borrow(items);
    }
    if (!is_instance(pagination, fw.NumberPaginator)) return nb::borrow(items);
    nb::object limit = pagination.attr("limit");
    nb::object offset = pagination.attr("offset");
    if (limit.is_none() && offset.is_none()) return nb::borrow(items);
    // A missing offset is the first record; a missing limit is the rest of the list.
    Py_ssize_t start = offset.is_none() ? 0 : nb::cast<Py_ssize_t>(offset);
    Py_ssize_t stop = limit.is_none() ? PY_SSIZE_T_MAX : start + nb::cast<Py_ssize_t>(limit);
    PyObject* page = PyList_GetSlice(items.ptr(), start, stop);
    if (!page) throw nb::python_error();
    return nb::steal(page);
}

}  // namespace nelvor::ledger
