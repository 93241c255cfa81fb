// Construction, environment settings, connect/disconnect and the schema
// service accessor shared by both connection classes.
#pragma once

#include "connections/core/class_builder.hpp"

namespace nelvor::core {

void add_lifecycle_methods(ClassBuilder& builder);

// A new table-schema service bound to the connection instance `self`.
nb::object table_schema_manager(nb::handle self);

}  // namespace nelvor::core
