#include <nanobind/nanobind.h>

#include "connections/core/driver_module.hpp"
namespace nb = nanobind;
NB_MODULE(ledger_store, m) { nelvor::driver::bind_driver(m); }
