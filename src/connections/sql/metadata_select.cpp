#include "connections/sql/metadata_select.hpp"

#include <array>
#include <string>
#include <string_view>

namespace nelvor::sql {

namespace {

// The keys of the json_build_object, in order; each is its metadata column.
constexpr std::array<std::string_view, 12> metadata_keys{
    "next_version", "address", "object_id", "object_version", "prior_version", "class_schema_reference",
    "class_meta_schema_reference", "class_schema_type", "is_deleted", "created_at", "updated_at", "transaction"};

// Composite and json columns are aggregated through to_json.
bool through_to_json(std::string_view key) {
    return key == "address" || key == "class_schema_reference" || key == "class_meta_schema_reference" ||
           key == "transaction";
}

// next_version is the derived column, transaction a key word.
bool quoted(std::string_view key) { return key == "next_version" || key == "transaction"; }

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
    for (const std::string_view key : metadata_keys) {
        if (!with_meta_schema_reference && key == "class_meta_schema_reference") continue;
        if (!first) field += ",\n";
        first = false;
        field += "    '";
        field += key;
        field += "', json_agg(";
        if (through_to_json(key)) field += "to_json(";
        field += metadata_alias;
        field += '.';
        field += quoted(key) ? "\"" + std::string(key) + "\"" : std::string(key);
        field += through_to_json(key) ? "))->0" : ")->0";
    }
    field += "\n) AS _metadata\n";
    return field;
}

}  // namespace nelvor::sql
