#pragma once
// JSON text straight to Python objects (dict/list/str/int/float/bool/None),
// with the same number semantics as Python's json module.
#include <Python.h>

#include <cstddef>

namespace nelvor::driver {

// New reference, or nullptr with ValueError (or MemoryError) set.
PyObject* decode_json(const char* text, size_t length);

}  // namespace nelvor::driver
