// The state store's own operations, added to its connection class.
#pragma once

#include "connections/core/class_builder.hpp"

namespace nelvor::current {

namespace nb = nanobind;

void add_state_methods(core::ClassBuilder& builder, nb::module_& module);

}  // namespace nelvor::current
