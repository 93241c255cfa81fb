// The ordering of the merged records in memory. A select orders the address
// pseudo-field by the key columns and the metadata, but a record carries the
// address only inside its _metadata; the in-memory sort must look there.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::ledger {

namespace nb = nanobind;

// `order_by` with every "_address__<part>" field renamed to where the record
// holds it: _metadata__object_id, _metadata__object_version, or
// _metadata__address__<part>. Null stays null.
nb::object record_ordering(nb::handle order_by);

}  // namespace nelvor::ledger
