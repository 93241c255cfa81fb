#pragma once
#include <nanobind/nanobind.h>

namespace nelvor::driver {

// Registers Connection, Cursor, the DB-API exceptions and connect() in an
// extension module. Call once from the module's init.
void bind_driver(nanobind::module_& module);

}  // namespace nelvor::driver
