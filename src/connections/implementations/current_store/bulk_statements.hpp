// The state store's own bulk statements: one UPDATE joined with a derived
// table of unnested arrays, and one DELETE with a filter group per record.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::current {

namespace nb = nanobind;

// `data`: pairs (address, record); all rows go to the table of the first address.
nb::tuple build_bulk_update_statement(nb::handle self, nb::handle data);

// `data`: one filter record per group; groups are ORed, keys within one ANDed.
nb::tuple build_bulk_delete_statement(nb::handle self, nb::handle table_name, nb::handle data);

// The same delete for many object ids: one array parameter compared with
// `= ANY`, which the server plans and runs in time linear in the ids, where
// the ORed groups take quadratic time.
nb::tuple build_bulk_delete_by_ids_statement(nb::handle self, nb::handle table_name, nb::list ids);

}  // namespace nelvor::current
