// Column name -> data type of a table, read from the catalogue and memoised
// per connection instance and table.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

nb::dict describe_table(nb::handle self, nb::handle table_name);

}  // namespace nelvor::sql
