// Undoing the innermost transaction level of the state store by compensating writes.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::current {

namespace nb = nanobind;

void revert(nb::handle self);

}  // namespace nelvor::current
