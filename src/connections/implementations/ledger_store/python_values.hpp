// Small conversions between Python values and C++ used by the historical operations.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace nelvor::ledger {

namespace nb = nanobind;

inline std::string text_of(nb::handle value) { return nb::str(value).c_str(); }

inline nb::str to_str(const std::string& text) { return nb::str(text.c_str(), text.size()); }

// Python's truth rule (a framework object answers for itself).
inline bool is_true(nb::handle value) {
    int truth = PyObject_IsTrue(value.ptr());
    if (truth < 0) throw nb::python_error();
    return truth != 0;
}

inline bool is_instance(nb::handle value, nb::handle type) {
    int result = PyObject_IsInstance(value.ptr(), type.ptr());
    if (result < 0) throw nb::python_error();
    return result != 0;
}

}  // namespace nelvor::ledger
