#include "connections/implementations/current_store/current_reads.hpp"

#include "driver/python_values.hpp"
#include "connections/core/statement_execution.hpp"
#include "connections/implementations/current_store/current_support.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/identifiers.hpp"
#include "connections/sql/select_clauses.hpp"
#include "connections/sql/result_records.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

#include <nanobind/stl/string.h>

#include <string>

namespace nelvor::current {

using driver::text_of;
using namespace nb::literals;

nb::list query(nb::handle self, nb::handle address, nb::handle query_specifier, nb::handle conditions,
               nb::handle pagination, nb::handle order_by) {
    nb::object table_name = resolve_table_name(self, address);
    nb::object statement =
        self.attr("_build_select_statement")(table_name, query_specifier, conditions, pagination, order_by);
    // Wanted while the rows arrive, so taken before the select runs.
    nb::dict description = sql::describe_table(self, self.attr("_get_table_name")(address));
    return sql::select_records(self, statement[0], statement[1], table_name, description);
}

nb::object count(nb::handle self, nb::handle address, nb::handle conditions) {
    nb::object table_name = resolve_table_name(self, address);
    nb::object cursor = run_statement(self, self.attr("_build_count_statement")(table_name, conditions));
    return cursor.attr("fetchone")()[0];
}

nb::tuple select_statement(nb::handle self, nb::handle table_name, nb::handle select_only, nb::handle conditions,
                           nb::handle pagination, nb::handle order_by, bool is_internal_table) {
    sql::require_text(table_name, "table_name");
    sql::require_text(select_only, "select_only");
    const auto& fw = framework::handles();
    std::string statement = "SELECT ";
    statement += text_of(select_only);
    statement += " FROM ";
    sql::append_quoted_identifier(statement, text_of(table_name));
    statement += " " + fw.model_table_alias;
    nb::list params = sql::append_where(statement, self, table_name, conditions, is_internal_table, false);
    if (driver::is_true(order_by)) {
        nb::object order_text = self.attr("_build_order_by_statement")(
            table_name, order_by, "is_internal_table"_a = is_internal_table, "use_internal_meta_tables"_a = false);
        statement += text_of(order_text);
    }
    sql::append_pagination(statement, params, pagination);
    return nb::make_tuple(driver::to_str(statement), params);
}

}  // namespace nelvor::current
