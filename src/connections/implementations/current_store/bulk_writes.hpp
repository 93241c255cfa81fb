// Bulk writes of the state store: many records of one table, one statement each.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::current {

namespace nb = nanobind;

// `data`: pairs (address, record). The table is that of the first address.
void bulk_insert(nb::handle self, nb::handle data);
void bulk_update(nb::handle self, nb::handle data);
void bulk_delete(nb::handle self, nb::handle addresses);

}  // namespace nelvor::current
