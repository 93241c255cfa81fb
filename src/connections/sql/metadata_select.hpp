// The derived metadata table (every metadata row plus the version that follows
// it) and the select-list item that folds a joined row's metadata into one
// JSON value named _metadata. Both stores join with the same texts.
#pragma once

#include <string>
#include <string_view>

namespace nelvor::sql {

// "\nSELECT\n  _m.*, ... FROM metadata as _m\n": the sub-select to join as a derived table.
const std::string& metadata_select_statement();

// "\njson_build_object(\n ... ) AS _metadata\n" over the derived table aliased
// `metadata_alias`. The state store leaves out 'class_meta_schema_reference'.
std::string metadata_select_field(std::string_view metadata_alias, bool with_meta_schema_reference = true);

}  // namespace nelvor::sql
