#include "connections/implementations/current_store/bare_column_names.hpp"

#include <algorithm>
#include <array>
#include <string>

namespace nelvor::current {

namespace {

// PostgreSQL's keywords that are not unreserved (pg_get_keywords() with a
// category other than U), sorted: the words quote_ident() would quote.
constexpr std::array<std::string_view, 151> quoted_keywords = {
    "all", "analyse", "analyze", "and", "any", "array", "as", "asc", "asymmetric", "authorization", "between",
    "bigint", "binary", "bit", "boolean", "both", "case", "cast", "char", "character", "check", "coalesce",
    "collate", "collation", "column", "concurrently", "constraint", "create", "cross", "current_catalog",
    "current_date", "current_role", "current_schema", "current_time", "current_timestamp", "current_user",
    "dec", "decimal", "default", "deferrable", "desc", "distinct", "do", "else", "end", "except", "exists",
    "extract", "false", "fetch", "float", "for", "foreign", "freeze", "from", "full", "grant", "greatest",
    "group", "grouping", "having", "ilike", "in", "initially", "inner", "inout", "int", "integer", "intersect",
    "interval", "into", "is", "isnull", "join", "lateral", "leading", "least", "left", "like", "limit",
    "localtime", "localtimestamp", "national", "natural", "nchar", "none", "normalize", "not", "notnull",
    "null", "nullif", "numeric", "offset", "on", "only", "or", "order", "out", "outer", "overlaps", "overlay",
    "placing", "position", "precision", "primary", "real", "references", "returning", "right", "row", "select",
    "session_user", "setof", "similar", "smallint", "some", "substring", "symmetric", "table", "tablesample",
    "then", "time", "timestamp", "to", "trailing", "treat", "trim", "true", "union", "unique", "user", "using",
    "values", "varchar", "variadic", "verbose", "when", "where", "window", "with", "xmlattributes", "xmlconcat",
    "xmlelement", "xmlexists", "xmlforest", "xmlnamespaces", "xmlparse", "xmlpi", "xmlroot", "xmlserialize",
    "xmltable",
};

static_assert(std::is_sorted(quoted_keywords.begin(), quoted_keywords.end()), "binary search needs sorted keywords");

bool is_plain_lower_case_identifier(std::string_view name) {
    if (name.empty() || !(name[0] == '_' || (name[0] >= 'a' && name[0] <= 'z'))) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

}  // namespace

bool can_stay_bare(std::string_view name) {
    return is_plain_lower_case_identifier(name) &&
           !std::binary_search(quoted_keywords.begin(), quoted_keywords.end(), name);
}

void append_column_reference(std::string& out, std::string_view name) {
    if (can_stay_bare(name))
        out += name;
    else
        sql::append_quoted_identifier(out, name);
}

}  // namespace nelvor::current
