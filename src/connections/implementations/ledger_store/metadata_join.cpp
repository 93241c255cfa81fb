#include "connections/implementations/ledger_store/metadata_join.hpp"

#include "driver/python_values.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/field_names.hpp"
#include "connections/sql/identifiers.hpp"
#include "connections/sql/metadata_select.hpp"
#include "connections/sql/nested_fields.hpp"
#include "connections/sql/select_clauses.hpp"
#include "framework/framework.hpp"

namespace nelvor::ledger {

using driver::text_of;
using driver::to_str;
using driver::is_true;

using namespace nb::literals;

namespace {

// An aggregate select list (the count) must not be grouped by object row.
bool counts(const std::string& select_only) {
    size_t start = select_only.find_first_not_of(" \t\n");
    return start != std::string::npos && select_only.compare(start, 6, "COUNT(") == 0;
}

}  // namespace

const std::string& metadata_select_field() {
    static const std::string field = sql::metadata_select_field(framework::handles().metadata_table_alias);
    return field;
}

nb::tuple select_with_internal_meta_statement(nb::handle self, nb::handle table_name, nb::handle select_only,
                                              nb::handle conditions, nb::handle pagination, nb::handle order_by) {
    sql::require_text(table_name, "table_name");
    sql::require_text(select_only, "select_only");
    const auto& fw = framework::handles();
    const std::string& model = fw.model_table_alias;
    const std::string& meta = fw.metadata_table_alias;
    const std::string select_list = text_of(select_only);

    std::string sql = "SELECT " + select_list + " FROM " + sql::quote_identifier(text_of(table_name)) + " AS " +
                      model + " JOIN (" + sql::metadata_select_statement() + ") AS " + meta + " ON " + model +
                      ".partition_key = " + meta + ".object_id AND " + model + ".range_key = " + meta +
                      ".object_version";
    nb::list params = sql::append_where(sql, self, table_name, conditions, false, true);
    if (!counts(select_list))
        sql += text_of(build_group_by_statement(self, table_name, order_by, false, true));
    if (is_true(order_by))
        sql += text_of(self.attr("_build_order_by_statement")(table_name, order_by, "is_internal_table"_a = false,
                                                              "use_internal_meta_tables"_a = true));
    sql::append_pagination(sql, params, pagination);
    return nb::make_tuple(to_str(sql), params);
}

nb::str build_group_by_statement(nb::handle self, nb::handle table_name, nb::handle order_by,
                                 bool is_internal_table, bool use_internal_meta_tables) {
    sql::require_text(table_name, "table_name");
    const std::string table = text_of(table_name);
    const std::string& model = framework::handles().model_table_alias;
    std::string clause = " GROUP BY " + model + ".partition_key, " + model + ".range_key";
    if (order_by.is_none() || !is_true(order_by)) return to_str(clause);
    nb::handle text_kind = reinterpret_cast<PyObject*>(&PyUnicode_Type);
    for (nb::handle item : order_by) {
        const std::string field_name = text_of(item.attr("field_name"));
        const size_t split = field_name.find("__");
        clause += ", ";
        if (split != std::string::npos) {
            // The same expression the ordering clause uses, so it groups what it sorts.
            nb::str expression = sql::resolve_nested_field_name(
                self, table_name, to_str(field_name.substr(0, split)), to_str(field_name.substr(split + 2)),
                text_kind, is_internal_table, use_internal_meta_tables);
            clause += sql::column_name(self, table, text_of(expression));
        } else {
            // Qualified, so a field named like a metadata column is not ambiguous.
            clause += model + "." + sql::quote_identifier(sql::column_name(self, table, field_name));
        }
    }
    return to_str(clause);
}

}  // namespace nelvor::ledger
