// Reading the state store: query, count, and the SELECT the framework's
// select builder asks for.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::current {

namespace nb = nanobind;

nb::list query(nb::handle self, nb::handle address, nb::handle query_specifier, nb::handle conditions,
               nb::handle pagination, nb::handle order_by);

nb::object count(nb::handle self, nb::handle address, nb::handle conditions);

// (statement text, parameter list)
nb::tuple select_statement(nb::handle self, nb::handle table_name, nb::handle select_only, nb::handle conditions,
                           nb::handle pagination, nb::handle order_by, bool is_internal_table);

}  // namespace nelvor::current
