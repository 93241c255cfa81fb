// The WHERE and LIMIT/OFFSET pieces that both stores' selects append.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace nelvor::sql {

namespace nb = nanobind;

// Appends " WHERE " and the framework's condition text (`_get_conditions_statement`)
// when `conditions` is truthy and the text is not empty; returns a copy of the
// condition's parameters (empty without conditions).
nb::list append_where(std::string& sql, nb::handle self, nb::handle table_name, nb::handle conditions,
                      bool is_internal_table, bool use_internal_meta_tables);

// " LIMIT %s OFFSET %s" and its two parameters for a NumberPaginator with a limit.
void append_pagination(std::string& sql, nb::list& params, nb::handle pagination);

}  // namespace nelvor::sql
