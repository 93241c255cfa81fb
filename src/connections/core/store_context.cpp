#include "connections/core/store_context.hpp"

#include "driver/python_values.hpp"

namespace nelvor::core {

namespace {

StoreContext context;

using driver::interned;

}  // namespace

void install_store(const StoreTraits& traits, nb::module_& module) {
    context.traits = &traits;
    // Opened with autocommit on: the classes drive transactions with
    // statements, so a write outside begin() is committed at once.
    context.driver_connect = nb::object(module.attr("_connect_autocommit")).release();
    context.logger = nb::module_::import_("logging").attr("getLogger")(traits.module_name).release();
    context.names = {interned("_is_revert_enabled"), interned("_revert_data"), interned("_savepoints"),
                     interned("_connection")};
}

const StoreContext& store() { return context; }

const StoreTraits& traits() { return *context.traits; }

void set_connection_class(nb::handle cls) { context.connection_class = cls.inc_ref(); }

}  // namespace nelvor::core
