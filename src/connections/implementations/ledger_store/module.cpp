// PostgresImmutableConnection: the historical store, every object version a row.
#include "connections/core/connection_class.hpp"
#include "driver/module.hpp"
#include "connections/implementations/ledger_store/ledger_methods.hpp"
#include "connections/sql/sql_methods.hpp"

namespace {

using namespace nelvor;
namespace nb = nanobind;

const core::StoreTraits traits{
    .module_name = "nelvor_data.connections.implementations.ledger_store",
    .class_name = "PostgresImmutableConnection",
    .mixin_module = "nelvor_data.connections.implementations.mixins.sql_history_mixin",
    .mixin_class = "SqlHistoryConnectionMixin",
    .base_module = "nelvor_data.connections.base",
    .base_class = "HistoricalConnectionBase",
    .environment_variables = {"POSTGRES_HOST", "POSTGRES_PORT", "POSTGRES_USER", "POSTGRES_PASSWORD",
                              "POSTGRES_DATABASE"},
    .schema_service_module = "nelvor_data.table_schemas.implementations.ledger_store",
    .schema_service_class = "PostgresImmutableTableSchemaService",
    .prepare_registers_internal_tables = true,
    .maps_field_names = true,
    .nested_cast_exact_type = false,
    .nested_cast_through_text = false,
    .latest_version_as_json_null = false,
};

void add_store_methods(core::ClassBuilder& builder, nb::module_& module) {
    sql::add_sql_methods(builder, module);
    ledger::add_historical_methods(builder, module);
}

}  // namespace

NB_MODULE(ledger_store, m) {
    nelvor::driver::bind_driver(m);
    nelvor::core::define_connection_class(m, traits, &add_store_methods);
}
