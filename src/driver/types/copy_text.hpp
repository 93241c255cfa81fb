#pragma once
// Values bound for an INSERT, written instead as fields of COPY's text
// format, where that stores exactly what the INSERT would have stored.
#include <libpq-fe.h>

#include <string>
#include <string_view>

namespace nelvor::driver {

// Appends the field for a text-format value bound with type `bound` (null
// `value`: NULL) that the INSERT assigns to a column of type `column`, and
// returns true; returns false, appending nothing, when the column's input
// function could read the text otherwise than the INSERT's assignment (a
// fraction bound for an integer column is rounded there, refused here).
bool append_copy_field(std::string& out, const char* value, size_t length, Oid bound, Oid column);

}  // namespace nelvor::driver
