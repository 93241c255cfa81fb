// Column names written bare where that reads the same as quoted, quoted
// (and escaped) everywhere else, so that an alias and its references can
// never fold to different names or break the statement.
#pragma once

#include "connections/sql/identifiers.hpp"

#include <string>
#include <string_view>

namespace nelvor::current {

// True for a lower-case identifier that is no keyword PostgreSQL would quote.
bool can_stay_bare(std::string_view name);

// Appends `name` bare when it can stay bare, quoted otherwise.
void append_column_reference(std::string& out, std::string_view name);

}  // namespace nelvor::current
