#include "connections/sql/metadata_select.hpp"

#include <array>

namespace nelvor::sql {

namespace {

// One line of the json_build_object: key, then the aggregate with the alias in front of `column`.
struct MetadataItem {
    const char* key;
    const char* before_alias;
    const char* column;
    const char* after_column;
};

constexpr std::array<MetadataItem, 12> metadata_items{{
    {"next_version", "json_agg(", "\"next_version\"", ")->0"},
    {"address", "json_agg(to_json(", "address", "))->0"},
    {"object_id", "json_agg(", "object_id", ")->0"},
    {"object_version", "json_agg(", "object_version", ")->0"},
    {"prior_version", "json_agg(", "prior_version", ")->0"},
    {"class_schema_reference", "json_agg(to_json(", "class_schema_reference", "))->0"},
    {"class_meta_schema_reference", "json_agg(to_json(", "class_meta_schema_reference", "))->0"},
    {"class_schema_type", "json_agg(", "class_schema_type", ")->0"},
    {"is_deleted", "json_agg(", "is_deleted", ")->0"},
    {"created_at", "json_agg(", "created_at", ")->0"},
    {"updated_at", "json_agg(", "updated_at", ")->0"},
    {"transaction", "json_agg(to_json(", "\"transaction\"", "))->0"},
}};

}  // namespace

const std::string& metadata_select_statement() {
    // next_version is not stored: it is the version whose prior_version points back here.
    static const std::string statement =
        "\n"
        "SELECT\n"
        "  _m.*,\n"
        "  trim('\"' FROM (\n"
        "    SELECT cast(_m2.object_version as text)\n"
        "    FROM metadata as _m2\n"
        "    WHERE\n"
        "        _m.object_version = _m2.prior_version\n"
        "        AND\n"
        "        _m.object_id = _m2.object_id\n"
        "    LIMIT 1\n"
        "  )::text) as next_version\n"
        "FROM metadata as _m\n";
    return statement;
}

std::string metadata_select_field(std::string_view metadata_alias, bool with_meta_schema_reference) {
    std::string field = "\njson_build_object(\n";
    bool first = true;
    for (const MetadataItem& item : metadata_items) {
        if (!with_meta_schema_reference && std::string_view(item.key) == "class_meta_schema_reference") continue;
        if (!first) field += ",\n";
        first = false;
        field += "    '";
        field += item.key;
        field += "', ";
        field += item.before_alias;
        field += metadata_alias;
        field += '.';
        field += item.column;
        field += item.after_column;
    }
    field += "\n) AS _metadata\n";
    return field;
}

}  // namespace nelvor::sql
