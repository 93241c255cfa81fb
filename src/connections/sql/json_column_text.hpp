#pragma once
// A dict or list bound for a json column, written as JSON text by the class
// itself (in C++, byte for byte what json.dumps writes, which is what the
// framework's parameter conversion makes of it), so that bulk writes do not
// pay one Python json.dumps per row.
#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

// The JSON text for `value` under a column of type `data_type`; an invalid
// object (nullptr) for other columns and values, and for values json.dumps
// would write otherwise or refuse (NaN, other types): those keep their way.
nb::object json_column_text(nb::handle value, nb::handle data_type);

}  // namespace nelvor::sql
