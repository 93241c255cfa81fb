// BEGIN / SAVEPOINT levels and the revert levels that follow them.
#pragma once

#include "connections/core/class_builder.hpp"

namespace nelvor::core {

void add_transaction_methods(ClassBuilder& builder);

// The innermost revert level; raises IndexError when no level is open.
nb::object innermost_revert_level(nb::handle self);

}  // namespace nelvor::core
