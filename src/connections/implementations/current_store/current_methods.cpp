#include "connections/implementations/current_store/current_methods.hpp"

#include "connections/implementations/current_store/bulk_statements.hpp"
#include "connections/implementations/current_store/bulk_writes.hpp"
#include "connections/implementations/current_store/record_writes.hpp"
#include "connections/implementations/current_store/current_docs.hpp"
#include "connections/implementations/current_store/current_reads.hpp"
#include "connections/implementations/current_store/current_revert.hpp"
#include "connections/sql/checked_operations.hpp"
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
    builder.doc(docs::class_doc)
        .attribute("SUBSTITUTE_CHAR", nb::str("%s"))
        .method("insert", &sql::checked_record_write<insert>, docs::insert, "address"_a.none(), "data"_a.none())
        .method("update", &sql::checked_record_write<update>, docs::update, "address"_a.none(), "data"_a.none())
        .method("delete", &sql::checked_address_operation<delete_record>, docs::delete_record, "address"_a.none())
        .method("_get_record", &get_record, "address"_a.none())
        .method("_add_revert_data", &add_revert_data, "operation"_a.none(), "address"_a.none(), "data"_a.none())
        .method("bulk_insert", &sql::checked_pairs_write<bulk_insert>, docs::bulk_insert, "data"_a.none())
        .method("bulk_update", &sql::checked_pairs_write<bulk_update>, docs::bulk_update, "data"_a.none())
        .method("bulk_delete", &sql::checked_addresses_operation<bulk_delete>, docs::bulk_delete, "addresses"_a.none())
        .method("_build_bulk_update_statement", &build_bulk_update_statement, "data"_a.none())
        .method("_build_bulk_delete_statement", &build_bulk_delete_statement, "table_name"_a.none(), "data"_a.none())
        .method("query", &sql::checked_query<query>, docs::query, "address"_a.none(), "query_specifier"_a.none() = nb::none(),
                "conditions"_a.none() = nb::none(), "pagination"_a.none() = nb::none(),
                "order_by"_a.none() = nb::none())
        .method("count", &sql::checked_count<count>, docs::count, "address"_a.none(), "conditions"_a.none() = nb::none())
        .method("_select_statement", &select_statement, "table_name"_a.none(), "select_only"_a.none(),
                "conditions"_a.none() = nb::none(), "pagination"_a.none() = nb::none(),
                "order_by"_a.none() = nb::none(), nb::kw_only(), "is_internal_table"_a = false)
        .method("revert", &revert, docs::revert);
}

}  // namespace nelvor::current
