// Which historical tables hold versioned object rows and which are the
// store's own bookkeeping tables.
#pragma once

#include <string_view>

namespace nelvor::ledger {

inline constexpr std::string_view metadata_table = "metadata";

// Internal tables carry no version column and are never joined with the metadata.
inline bool is_internal_table(std::string_view table_name) {
    return table_name.ends_with("metadata") || table_name.ends_with("reference");
}

}  // namespace nelvor::ledger
