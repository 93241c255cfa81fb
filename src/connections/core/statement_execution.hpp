// The one path every statement takes: run `query` with positional parameters
// on the instance's driver connection and hand back the cursor.
#pragma once

#include "connections/core/class_builder.hpp"

#include <string_view>

namespace nelvor::core {

// `params` is a tuple (or list) of parameter values, one per `%s`.
nb::object execute(nb::handle self, nb::handle query, nb::handle params);
nb::object execute(nb::handle self, std::string_view query, nb::handle params);

void add_execution_methods(ClassBuilder& builder);

}  // namespace nelvor::core
