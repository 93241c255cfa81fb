#include "connections/sql/select_clauses.hpp"

#include "connections/sql/argument_checks.hpp"
#include "driver/python_values.hpp"
#include "framework/framework.hpp"

namespace nelvor::sql {

using namespace nb::literals;

nb::list append_where(std::string& sql, nb::handle self, nb::handle table_name, nb::handle conditions,
                      bool is_internal_table, bool use_internal_meta_tables) {
    if (!driver::is_true(conditions)) return nb::list();
    nb::object result = self.attr("_get_conditions_statement")(table_name, conditions,
                                                               "is_internal_table"_a = is_internal_table,
                                                               "use_internal_meta_tables"_a = use_internal_meta_tables);
    nb::tuple pair = nb::tuple(result);
    if (nb::len(pair) != 2)
        throw nb::type_error("_get_conditions_statement must return (condition text, parameter list)");
    if (!PyList_Check(pair[1].ptr()))
        throw nb::type_error("_get_conditions_statement must return its parameters as a list");
    require_text(pair[0], "condition text");
    const std::string where = driver::text_of(pair[0]);
    if (!where.empty()) sql += " WHERE " + where;
    return nb::list(pair[1]);
}

void append_pagination(std::string& sql, nb::list& params, nb::handle pagination) {
    if (!driver::is_instance(pagination, framework::handles().NumberPaginator)) return;
    nb::object limit = pagination.attr("limit");
    if (limit.is_none()) return;
    nb::object offset = pagination.attr("offset");
    sql += " LIMIT %s OFFSET %s";
    params.append(limit);
    params.append(driver::is_true(offset) ? offset : nb::int_(0));
}

}  // namespace nelvor::sql
