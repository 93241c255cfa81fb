// Type checks for arguments, raising TypeError that names the argument.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

void require_text(nb::handle value, const char* argument);
void require_map(nb::handle value, const char* argument);
void require_list(nb::handle value, const char* argument);

// The framework types that the public operations take.
void require_address(nb::handle value, const char* argument);
// Each (address, record) pair's address; other shapes are left to the operation.
void require_addressed_pairs(nb::handle pairs, const char* argument);
void require_addresses(nb::handle addresses, const char* argument);
void require_conditions(nb::handle conditions);
void require_query_arguments(nb::handle query_specifier, nb::handle conditions, nb::handle pagination,
                             nb::handle order_by);

}  // namespace nelvor::sql
