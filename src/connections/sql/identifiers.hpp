// Quoting of names that reach SQL text. Names may come from end users
// (record keys, sort fields, JSON path segments), so they are always escaped.
#pragma once

#include <string>
#include <string_view>

namespace nelvor::sql {

// "name" with every embedded double quote doubled. Percent signs are doubled
// too, because every statement text goes through %s parameter rendering.
std::string quote_identifier(std::string_view name);
void append_quoted_identifier(std::string& out, std::string_view name);

// 'segment' with every embedded single quote (and percent sign) doubled.
std::string quote_text(std::string_view text);

}  // namespace nelvor::sql
