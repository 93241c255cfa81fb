#include "driver/types/canonical_text.hpp"

#include <nanobind/nanobind.h>
#include <nanobind/stl/string_view.h>

#include <cctype>

#include "driver/errors.hpp"
#include "driver/python_types.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

namespace {

// The base type's own __str__, called on the value, not the subclass's.
std::string base_str(PyObject* type, PyObject* value) {
    nb::object method = nb::steal(PyObject_GetAttrString(type, "__str__"));
    if (!method.is_valid()) throw nb::python_error();
    nb::object text = nb::steal(PyObject_CallOneArg(method.ptr(), value));
    if (!text.is_valid()) throw nb::python_error();
    if (!PyUnicode_Check(text.ptr())) throw nb::type_error("__str__ returned a non-string");
    return std::string(nb::cast<std::string_view>(text));
}

bool is_uuid_form(const std::string& text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

std::string decimal_text(PyObject* value) { return base_str(python_types().decimal, value); }

std::string uuid_text(PyObject* value) {
    std::string text = base_str(python_types().uuid, value);
    if (!is_uuid_form(text)) raise_error(ErrorKind::DataError, "a UUID value does not have the form of a UUID");
    return text;
}

}  // namespace nelvor::driver
