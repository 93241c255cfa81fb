#include "connections/implementations/ledger_store/ledger_methods.hpp"

#include "connections/implementations/ledger_store/ledger_docs.hpp"
#include "connections/implementations/ledger_store/ledger_reads.hpp"
#include "connections/implementations/ledger_store/ledger_writes.hpp"
#include "connections/implementations/ledger_store/metadata_join.hpp"
#include "driver/python_values.hpp"
#include "connections/implementations/ledger_store/select_statement.hpp"
#include "connections/sql/field_names.hpp"
#include "connections/sql/checked_operations.hpp"
#include "connections/sql/metadata_select.hpp"

namespace nelvor::ledger {

using driver::to_str;

using namespace nb::literals;

void add_historical_methods(core::ClassBuilder& builder, nb::module_& module) {
    module.attr("METADATA_SELECT_STATEMENT") = to_str(sql::metadata_select_statement());
    module.attr("METADATA_SELECT_FIELD") = to_str(metadata_select_field());
    nb::object none = nb::none();
    builder.doc(docs::class_doc)
        .method("_fields_map", &sql::fields_map, "table_name"_a.none(), "field_name"_a.none(),
                "class_version"_a.none())
        .method("_field_reverse_map", &sql::field_reverse_map, "table_name"_a.none(), "field_name"_a.none(),
                "class_version"_a.none())
        .method("_select_with_internal_meta_statement", &select_with_internal_meta_statement, "table_name"_a.none(),
                "select_only"_a.none(), "conditions"_a.none() = none, "pagination"_a.none() = none,
                "order_by"_a.none() = none)
        .method("_build_group_by_statement", &build_group_by_statement, "table_name"_a.none(), "order_by"_a.none(),
                nb::kw_only(), "is_internal_table"_a = false, "use_internal_meta_tables"_a = false)
        .method("_build_select_statement", &build_select_statement, "table_name"_a.none(),
                "query_specifier"_a.none() = none, "conditions"_a.none() = none, "pagination"_a.none() = none,
                "order_by"_a.none() = none, nb::kw_only(), "use_internal_meta_tables"_a = false)
        .method("_query", &query_table, "table_name"_a.none(), "query_specifier"_a.none(), "conditions"_a.none(),
                "pagination"_a.none(), "order_by"_a.none())
        .method("query", &sql::checked_query<query>, docs::query, "address"_a.none(), "query_specifier"_a.none() = none,
                "conditions"_a.none() = none, "pagination"_a.none() = none, "order_by"_a.none() = none)
        .method("count", &sql::checked_count<count>, docs::count, "address"_a.none(), "conditions"_a.none() = none)
        .static_method("_paginate_items", &paginate_items, "items"_a.none(), "pagination"_a.none())
        .method("put", &sql::checked_record_write<put>, docs::put, "address"_a.none(), "data"_a.none())
        .method("bulk_put", &sql::checked_pairs_write<bulk_put>, docs::bulk_put, "data"_a.none())
        .method("_delete", &delete_version, "address"_a.none())
        .method("_add_revert_data", &add_revert_data, "address"_a.none(), "data"_a.none())
        .method("revert", &revert, docs::revert);
}

}  // namespace nelvor::ledger
