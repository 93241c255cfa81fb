// The historical store's own operations, added to its connection class.
#pragma once

#include "connections/core/class_builder.hpp"

namespace nelvor::ledger {

namespace nb = nanobind;

void add_historical_methods(core::ClassBuilder& builder, nb::module_& module);

}  // namespace nelvor::ledger
