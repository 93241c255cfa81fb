// Single-record writes of the state store and the lookup of one current record.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::current {

namespace nb = nanobind;

void insert(nb::handle self, nb::handle address, nb::handle data);
void update(nb::handle self, nb::handle address, nb::handle data);
void delete_record(nb::handle self, nb::handle address);

// The one current record of `address`; NelvorConnectionError when there is none or several.
nb::object get_record(nb::handle self, nb::handle address);

// Appends (operation, address, data) to the innermost revert level, by reference.
void add_revert_data(nb::handle self, nb::handle operation, nb::handle address, nb::handle data);

}  // namespace nelvor::current
