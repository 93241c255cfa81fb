// Result rows turned into records: each row paired with the cursor's column
// names and handed to the framework's `_process_result`.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

nb::list records_from_cursor(nb::handle self, nb::handle cursor, nb::handle table_name, nb::handle description);

}  // namespace nelvor::sql
