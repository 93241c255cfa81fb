// Selecting each distinct value once: DISTINCT ON needs the ordering to begin
// with the distinct fields, and records merged from several class versions
// need the same rule applied once more.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::ledger {

namespace nb = nanobind;

// The query specifier's distinct field names, unique and sorted; empty without a specifier.
nb::list distinct_names(nb::handle query_specifier);

// `order_by` rearranged to begin with the distinct fields (keeping the caller's
// direction for those it already orders on), followed by the rest of it.
nb::list order_led_by(nb::handle distinct, nb::handle order_by);

// The first record of each combination of values of the distinct fields, in order.
nb::list first_of_each_distinct_value(nb::handle records, nb::handle distinct);

}  // namespace nelvor::ledger
