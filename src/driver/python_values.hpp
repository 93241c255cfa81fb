// Small conversions between Python values and C++ shared by the connection code.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include <string>

namespace nelvor::driver {

namespace nb = nanobind;

// Sized: a NUL inside a name must reach the statement (and be refused there),
// not cut the name short into another, valid one.
inline std::string text_of(nb::handle value) { return nb::cast<std::string>(nb::str(value)); }

inline nb::str to_str(const std::string& text) { return nb::str(text.c_str(), text.size()); }

// A name looked up again and again (an attribute, a key): made once, kept for the process.
inline nb::handle interned(const char* name) { return PyUnicode_InternFromString(name); }

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

// A dict or any other collections.abc.Mapping (a list or tuple answers at once).
inline bool is_mapping(nb::handle value) {
    PyObject* raw = value.ptr();
    if (PyDict_Check(raw)) return true;
    if (PyTuple_CheckExact(raw) || PyList_CheckExact(raw)) return false;
    static nb::handle mapping = nb::object(nb::module_::import_("collections.abc").attr("Mapping")).release();
    return is_instance(value, mapping);
}

}  // namespace nelvor::driver
