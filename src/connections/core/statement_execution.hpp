// The one path every statement takes: run `query` with positional parameters
// on the instance's driver connection and hand back the cursor.
#pragma once

#include "connections/core/class_builder.hpp"
#include "driver/row_consumer.hpp"

#include <string_view>

namespace nelvor::core {

// `params` is a tuple (or list) of parameter values, one per `%s`.
nb::object execute(nb::handle self, nb::handle query, nb::handle params);
nb::object execute(nb::handle self, std::string_view query, nb::handle params);
// As execute, for a query whose rows go to `consumer`, in order (while they
// arrive when the driver streams them); the consumer's own failures are its
// to report.
void execute_into(nb::handle self, nb::handle query, nb::handle params, driver::RowConsumer& consumer);

// The failure that aborted the instance's transaction, as the driver knows it
// right after the statement that ended it; None when unknown.
nb::object transaction_failure(nb::handle self);

void add_execution_methods(ClassBuilder& builder);

}  // namespace nelvor::core
