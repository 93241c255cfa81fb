// PostgresStateConnection: the state store, one row per object.
#include "connections/core/connection_class.hpp"
#include "driver/module.hpp"
#include "connections/implementations/current_store/current_methods.hpp"
#include "connections/sql/sql_methods.hpp"

namespace {

using namespace nelvor;
namespace nb = nanobind;

const core::StoreTraits traits{
    .module_name = "nelvor_data.connections.implementations.current_store",
    .class_name = "PostgresStateConnection",
    .mixin_module = "nelvor_data.connections.implementations.mixins.sql_state_mixin",
    .mixin_class = "SqlStateConnectionMixin",
    .base_module = "nelvor_data.connections.base",
    .base_class = "StateConnectionBase",
    .environment_variables = {"POSTGRES_STATE_HOST", "POSTGRES_STATE_PORT", "POSTGRES_STATE_USER",
                              "POSTGRES_STATE_PASSWORD",
                              "POSTGRES_STATE_DATABASE"},
    .schema_service_module = "nelvor_data.table_schemas.implementations.current_store",
    .schema_service_class = "PostgresStateTableSchemaService",
    .prepare_registers_internal_tables = false,
    .maps_field_names = false,
    .nested_cast_exact_type = true,
    .nested_cast_through_text = true,
    .latest_version_as_json_null = true,
};

void add_store_methods(core::ClassBuilder& builder, nb::module_& module) {
    sql::add_sql_methods(builder, module);
    current::add_state_methods(builder, module);
}

}  // namespace

NB_MODULE(current_store, m) {
    nelvor::driver::bind_driver(m);
    nelvor::core::define_connection_class(m, traits, &add_store_methods);
}
