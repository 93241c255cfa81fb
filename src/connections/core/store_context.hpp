// Per-module state of the connection core: the module's traits, its driver
// `connect` and interned attribute names. Each extension module links its own
// copy of the core, so this is never shared between the two modules.
#pragma once

#include "connections/core/store_traits.hpp"

#include <nanobind/nanobind.h>

namespace nelvor::core {

namespace nb = nanobind;

struct InstanceFieldNames {
    nb::handle is_revert_enabled, revert_data, savepoints, connection;
};

struct StoreContext {
    const StoreTraits* traits = nullptr;
    nb::handle driver_connect;  // the module's driver `_connect_autocommit(dsn=None, **kwargs)`
    nb::handle connection_class;  // set once the class exists
    nb::handle logger;
    InstanceFieldNames names;
};

// Called once from module init, after the driver is bound into `module`.
void install_store(const StoreTraits& traits, nb::module_& module);

const StoreContext& store();
const StoreTraits& traits();
void set_connection_class(nb::handle cls);

}  // namespace nelvor::core
