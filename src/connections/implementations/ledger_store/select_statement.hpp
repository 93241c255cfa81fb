// The per-table select of a historical query: the plain select of the
// framework for internal tables, otherwise the select joined with the metadata.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::ledger {

namespace nb = nanobind;

// (statement, parameter list).
nb::object build_select_statement(nb::handle self, nb::handle table_name, nb::handle query_specifier,
                                  nb::handle conditions, nb::handle pagination, nb::handle order_by,
                                  bool use_internal_meta_tables);

}  // namespace nelvor::ledger
