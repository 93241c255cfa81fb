// A deep copy of a record: the same result as copy.deepcopy, done in C++
// for the plain values records hold (maps, lists, tuples, texts, numbers),
// falling back to copy.deepcopy for any other object.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::core {

namespace nb = nanobind;

nb::object deep_copy(nb::handle value);

}  // namespace nelvor::core
