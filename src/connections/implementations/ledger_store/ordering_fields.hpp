// What the merge of the class versions' records needs of an ordering: the
// fields it sorts on must be in the records, and a select may cut the page
// only where it orders rows as the merge does.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::ledger {

namespace nb = nanobind;

// The fields the ordering sorts on (the first segment of a nested path) that
// the specifier's `only` leaves out; empty without `only`. The address and
// the metadata are in every record already.
nb::list ordering_fields_left_out(nb::handle query_specifier, nb::handle ordering);

// The specifier with those fields added to `only`.
nb::object specifier_with(nb::handle query_specifier, nb::handle fields);

// Removes the fields from every record (a dict), so the caller gets what it asked for.
void drop_fields(nb::handle records, nb::handle fields);

// A select orders a nested value by its text ("10" before "2"), the merge by
// the JSON value: such an ordering leaves the page to the merge.
bool orders_by_nested_value(nb::handle ordering);

}  // namespace nelvor::ledger
