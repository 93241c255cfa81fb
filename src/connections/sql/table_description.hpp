// Column name -> data type of the table a name resolves to on the connection
// (its search_path), read from the catalogue and memoised per connection
// instance and table.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

nb::dict describe_table(nb::handle self, nb::handle table_name);

// The description, read once more when it lacks `column` (another session
// may have added it since) and that column was not looked for before on this
// connection: a record's keys that are no columns cost one round trip each,
// once, not one per write.
nb::dict describe_table_with(nb::handle self, nb::handle table_name, nb::handle column);

// The data type of `column` in `columns`, the table's description, which is
// replaced by describe_table_with's when it lacks the column; null (borrowed
// otherwise) when the column is not there even then.
PyObject* column_type(nb::handle self, nb::handle table_name, nb::dict& columns, nb::handle column);

}  // namespace nelvor::sql
