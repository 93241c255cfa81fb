// Creates a module's connection class: the shared core operations plus the
// store's own, on top of the framework bases named by the store's traits.
#pragma once

#include "connections/core/class_builder.hpp"
#include "connections/core/store_traits.hpp"

namespace nelvor::core {

using AddStoreMethods = void (*)(ClassBuilder&, nb::module_&);

// Installs the store context (the driver must already be bound into `module`), builds the class and the
// module `logger`, and stores the class in the module under its name.
nb::object define_connection_class(nb::module_& module, const StoreTraits& traits, AddStoreMethods add_store_methods);

}  // namespace nelvor::core
