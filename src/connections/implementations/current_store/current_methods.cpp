#include "connections/implementations/current_store/current_methods.hpp"

#include "connections/implementations/current_store/bulk_statements.hpp"
#include "connections/implementations/current_store/bulk_writes.hpp"
#include "connections/implementations/current_store/record_writes.hpp"
#include "connections/implementations/current_store/current_reads.hpp"
#include "connections/implementations/current_store/current_revert.hpp"
#include "connections/sql/metadata_select.hpp"
#include "framework/framework.hpp"

namespace nelvor::current {

using namespace nb::literals;

namespace {

nb::str text(const std::string& value) { return nb::str(value.c_str(), value.size()); }

// The metadata texts the historical store joins with; no state operation uses them.
void add_metadata_constants(nb::module_& module) {
    module.attr("METADATA_SELECT_STATEMENT") = text(sql::metadata_select_statement());
    module.attr("METADATA_SELECT_FIELD") =
        text(sql::metadata_select_field(framework::handles().metadata_table_alias, false));
}

}  // namespace

void add_state_methods(core::ClassBuilder& builder, nb::module_& module) {
    add_metadata_constants(module);
    builder.attribute("SUBSTITUTE_CHAR", nb::str("%s"))
        .method("insert", &insert, "address"_a, "data"_a)
        .method("update", &update, "address"_a, "data"_a)
        .method("delete", &delete_record, "address"_a)
        .method("_get_record", &get_record, "address"_a)
        .method("_add_revert_data", &add_revert_data, "operation"_a, "address"_a, "data"_a.none())
        .method("bulk_insert", &bulk_insert, "data"_a)
        .method("bulk_update", &bulk_update, "data"_a)
        .method("bulk_delete", &bulk_delete, "addresses"_a)
        .method("_build_bulk_update_statement", &build_bulk_update_statement, "data"_a)
        .method("_build_bulk_delete_statement", &build_bulk_delete_statement, "table_name"_a, "data"_a)
        .method("query", &query, "address"_a, "query_specifier"_a.none() = nb::none(),
                "conditions"_a.none() = nb::none(), "pagination"_a.none() = nb::none(),
                "order_by"_a.none() = nb::none())
        .method("count", &count, "address"_a, "conditions"_a.none() = nb::none())
        .method("_select_statement", &select_statement, "table_name"_a, "select_only"_a,
                "conditions"_a.none() = nb::none(), "pagination"_a.none() = nb::none(),
                "order_by"_a.none() = nb::none(), nb::kw_only(), "is_internal_table"_a = false)
        .method("revert", &revert);
}

}  // namespace nelvor::current
