#include "connections/implementations/ledger_store/select_statement.hpp"

#include "connections/implementations/ledger_store/distinct_values.hpp"
#include "connections/implementations/ledger_store/metadata_join.hpp"
#include "driver/python_values.hpp"
#include "connections/implementations/ledger_store/table_kinds.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/field_names.hpp"
#include "connections/sql/identifiers.hpp"
#include "framework/framework.hpp"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace nelvor::ledger {

using driver::text_of;
using driver::to_str;
using driver::is_true;
using driver::is_instance;

using namespace nb::literals;

namespace {

struct Projection {
    std::set<std::string> only;  // ordered by code point, like the plain text sort
    nb::list distinct;
};

// The fields to select; the distinct fields are always among them, so that
// records can be told apart by them.
Projection projection(nb::handle query_specifier) {
    Projection result{{}, distinct_names(query_specifier)};
    if (query_specifier.is_none()) return result;
    nb::object only = query_specifier.attr("only");
    if (only.is_none() || !is_true(only)) return result;
    for (nb::handle name : only) result.only.insert(text_of(name));
    for (nb::handle name : result.distinct) result.only.insert(text_of(name));
    return result;
}

std::string join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// "DISTINCT ON (<ordering expressions of the distinct fields>) ", or "".
// The expressions are the ordering's own, which DISTINCT ON requires to lead.
std::string distinct_on(nb::handle self, nb::handle table_name, const nb::list& distinct, bool is_internal_table,
                        bool use_internal_meta_tables) {
    if (nb::len(distinct) == 0) return "";
    std::vector<std::string> expressions;
    for (nb::handle name : distinct)
        expressions.push_back(text_of(self.attr("_order_expression")(
            table_name, name, "is_internal_table"_a = is_internal_table,
            "use_internal_meta_tables"_a = use_internal_meta_tables)));
    return "DISTINCT ON (" + join(expressions) + ") ";
}

std::string plain_select_list(nb::handle self, const std::string& table, std::set<std::string> only, bool internal) {
    if (only.empty()) return "*";
    if (!internal) only.insert(framework::handles().metadata_field);
    std::vector<std::string> columns;
    for (const std::string& name : only) columns.push_back(sql::quote_identifier(sql::column_name(self, table, name)));
    return join(columns);
}

std::string joined_select_list(nb::handle self, const std::string& table, const std::set<std::string>& only) {
    const auto& fw = framework::handles();
    std::vector<std::string> columns;
    for (const std::string& name : only) {
        // The metadata comes from the join, not from a column of the object table.
        if (name == fw.metadata_field) continue;
        columns.push_back(fw.model_table_alias + "." + sql::quote_identifier(sql::column_name(self, table, name)));
    }
    std::string list = columns.empty() ? fw.model_table_alias + ".*" : join(columns);
    return list + ", " + metadata_select_field();
}

nb::object checked_pair(nb::object result) {
    if (!PyTuple_Check(result.ptr()) || nb::len(result) != 2)
        throw nb::type_error("_select_statement must return a (statement, parameters) pair");
    return result;
}

}  // namespace

nb::object build_select_statement(nb::handle self, nb::handle table_name, nb::handle query_specifier,
                                  nb::handle conditions, nb::handle pagination, nb::handle order_by,
                                  bool use_internal_meta_tables) {
    sql::require_text(table_name, "table_name");
    if (is_instance(pagination, framework::handles().CursorPaginator))
        framework::raise_connection_error("Cursor pagination is not supported");
    const std::string table = text_of(table_name);
    const bool internal = is_internal_table(table);
    const bool joined = use_internal_meta_tables && !internal;
    Projection fields = projection(query_specifier);
    nb::object ordering = nb::borrow(order_by);
    if (nb::len(fields.distinct) != 0) ordering = order_led_by(fields.distinct, order_by);
    const std::string distinct = distinct_on(self, table_name, fields.distinct, internal, joined);

    if (!joined) {
        std::string select_only = distinct + plain_select_list(self, table, fields.only, internal);
        return checked_pair(self.attr("_select_statement")(
            table_name, "select_only"_a = to_str(select_only), "conditions"_a = conditions,
            "pagination"_a = pagination, "order_by"_a = ordering, "is_internal_table"_a = internal));
    }
    std::string select_only = distinct + joined_select_list(self, table, fields.only);
    return select_with_internal_meta_statement(self, table_name, to_str(select_only), conditions, pagination,
                                               ordering);
}

}  // namespace nelvor::ledger
