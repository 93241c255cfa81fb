#pragma once
// Python values to JSON text, byte-for-byte like json.dumps with its default
// separators (", " and ": "), so stored texts match what Python would write.
#include <nanobind/nanobind.h>

#include <string>

namespace nelvor::driver {

namespace nb = nanobind;

// None/bool/int/float/str/dict/list/tuple. NaN and infinities raise
// ValueError, other types TypeError. With `ensure_ascii` every non-ASCII
// character becomes a \u escape (astral ones as surrogate pairs).
std::string to_json_text(nb::handle value, bool ensure_ascii);

}  // namespace nelvor::driver
