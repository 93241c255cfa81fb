// Binds the SQL-building operations that both connection classes share.
#pragma once

#include "connections/core/class_builder.hpp"

namespace nelvor::sql {

namespace nb = nanobind;

// Builds the module's `sql_operator_map` and adds the
// shared operations and `SQL_OPERATOR_MAP` to the class.
void add_sql_methods(core::ClassBuilder& builder, nb::module_& module);

}  // namespace nelvor::sql
