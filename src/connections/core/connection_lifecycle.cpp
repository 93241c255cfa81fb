#include "connections/core/connection_lifecycle.hpp"

#include "connections/core/store_context.hpp"
#include "framework/framework.hpp"

#include <optional>

namespace nelvor::core {

using namespace nb::literals;

namespace {

constexpr std::array<const char*, 5> parameter_keys{"host", "port", "user", "password", "database"};

void init(nb::handle self, bool is_revert_supported) {
    const auto& names = store().names;
    nb::setattr(self, names.is_revert_enabled, nb::bool_(is_revert_supported));
    nb::setattr(self, names.revert_data, nb::list());
    nb::setattr(self, names.savepoints, nb::list());
    nb::setattr(self, names.connection, nb::none());
}

nb::dict default_envs(nb::handle) {
    nb::dict params;
    nb::handle environ = framework::handles().os_environ;
    const auto& variables = store().traits->environment_variables;
    for (size_t i = 0; i < parameter_keys.size(); ++i) {
        nb::object value = environ.attr("get")(variables[i]);
        if (!value.is_none() && nb::len(value) > 0) params[parameter_keys[i]] = value;
    }
    return params;
}

void connect(nb::handle self, nb::object dsn, nb::kwargs kwargs) {
    const auto& names = store().names;
    if (!nb::getattr(self, names.connection).is_none())
        framework::raise_connection_error("Connection already established");
    nb::dict params = default_envs(self);
    for (auto [key, value] : kwargs) params[key] = value;
    // The driver's own error reaches the caller unchanged.
    nb::object connection = store().driver_connect(dsn, **params);
    nb::setattr(self, names.connection, connection);
    nb::setattr(connection, "isolation_level", nb::none());
}

void disconnect(nb::handle self) {
    const auto& names = store().names;
    nb::object connection = nb::getattr(self, names.connection);
    if (connection.is_none()) framework::raise_connection_error("Connection not established");
    connection.attr("close")();
    nb::setattr(self, names.connection, nb::none());
}

void prepare_connection(nb::handle self) {
    if (store().traits->prepare_registers_internal_tables)
        table_schema_manager(self).attr("register_internal_tables")();
}

}  // namespace

nb::object table_schema_manager(nb::handle self) {
    // Resolved at first use, not at module load: the service module may
    // import the connection modules itself.
    static nb::handle service_class;
    if (!service_class) {
        const StoreTraits& traits = *store().traits;
        service_class = framework::import_attr(traits.schema_service_module, traits.schema_service_class).release();
    }
    return service_class(self);
}

void add_lifecycle_methods(ClassBuilder& builder) {
    builder.method("__init__", &init, docs::init, nb::kw_only(), "is_revert_supported"_a = true)
        .method("_default_envs", &default_envs)
        .method("connect", &connect, docs::connect, "dsn"_a = nb::none(), "kwargs"_a)
        .method("disconnect", &disconnect, docs::disconnect)
        .readonly_property("table_schema_manager", &table_schema_manager, docs::table_schema_manager)
        .method("prepare_connection", &prepare_connection, docs::prepare_connection);
}

}  // namespace nelvor::core
