// The map from query lookup to SQL operator template, built once per module.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

// A new dict keyed by the framework's Lookup members, in lookup order.
nb::dict build_operator_map();

// True when `sql_operator_template` is the map's ISNULL entry.
bool is_null_test(nb::handle sql_operator_template);
// True when `sql_operator_template` is the map's IN entry.
bool is_membership_test(nb::handle sql_operator_template);

}  // namespace nelvor::sql
