#pragma once
// Mapping parameters with "%(name)s" placeholders (psycopg2's pyformat). The
// text is rewritten to the positional "%s" form with the values in
// placeholder order, so rendering, binding and preparing take it unchanged.
#include <nanobind/nanobind.h>

#include <string>
#include <string_view>

#include "driver/python_values.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

struct PositionalQuery {
    std::string query;
    nb::tuple params;
};

// Raises KeyError for a name the mapping lacks (as psycopg2 does) and
// ProgrammingError for a "%s" among named placeholders or a malformed one.
PositionalQuery positional_from_named(std::string_view query, nb::handle mapping);

}  // namespace nelvor::driver
