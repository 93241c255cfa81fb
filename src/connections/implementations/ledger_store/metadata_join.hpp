// The select that joins object rows with their metadata, and the grouping
// clause that the aggregated _metadata item needs.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace nelvor::ledger {

namespace nb = nanobind;

// The _metadata select-list item over the metadata alias, fixed when the module loads.
const std::string& metadata_select_field();

// (statement, parameter list): SELECT select_only FROM table JOIN metadata ... WHERE, GROUP BY, ORDER BY, LIMIT.
nb::tuple select_with_internal_meta_statement(nb::handle self, nb::handle table_name, nb::handle select_only,
                                              nb::handle conditions, nb::handle pagination, nb::handle order_by);

// " GROUP BY A.partition_key, A.range_key" (A the model table alias) followed by
// every ordering expression.
nb::str build_group_by_statement(nb::handle self, nb::handle table_name, nb::handle order_by,
                                 bool is_internal_table, bool use_internal_meta_tables);

}  // namespace nelvor::ledger
