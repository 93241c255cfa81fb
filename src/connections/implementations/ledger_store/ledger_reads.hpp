// The read path: records and counts of an address over all its class
// versions, and the page cut of the merged records.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::ledger {

namespace nb = nanobind;

// The records of one table (one class version).
nb::list query_table(nb::handle self, nb::handle table_name, nb::handle query_specifier, nb::handle conditions,
                     nb::handle pagination, nb::handle order_by);

nb::object paginate_items(nb::handle items, nb::handle pagination);

// Over every class version of the address.
nb::list query(nb::handle self, nb::handle address, nb::handle query_specifier, nb::handle conditions,
               nb::handle pagination, nb::handle order_by);

nb::object count(nb::handle self, nb::handle address, nb::handle conditions);

}  // namespace nelvor::ledger
