// Type checks for arguments, raising TypeError that names the argument.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

void require_text(nb::handle value, const char* argument);
void require_map(nb::handle value, const char* argument);
void require_list(nb::handle value, const char* argument);

}  // namespace nelvor::sql
