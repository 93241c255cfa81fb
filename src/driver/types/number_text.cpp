#include "driver/types/number_text.hpp"

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include <charconv>
#include <cmath>
#include <cstdint>

#include "driver/python_types.hpp"
#include "driver/types/canonical_text.hpp"
#include "driver/python_values.hpp"
#include "driver/types/type_oids.hpp"

namespace nelvor::driver {

using namespace type_oid;

namespace {

// Takes a new reference to a str; null raises the pending Python error.
std::string owned_text(PyObject* text) {
    nb::object owned = nb::steal(text);
    if (!owned.is_valid()) throw nb::python_error();
    return nb::cast<std::string>(owned);
}

}  // namespace

NumberText int_number(PyObject* value) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0) return {kNumeric, owned_text(PyLong_Type.tp_repr(value))};
    if (number == -1 && PyErr_Occurred()) throw nb::python_error();
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), number);
    return {number >= INT32_MIN && number <= INT32_MAX ? kInt4 : kInt8,
            std::string(buffer, static_cast<size_t>(end - buffer))};
}

NumberText float_number(double number) {
    if (std::isnan(number)) return {kFloat8, "NaN", true};
    if (std::isinf(number)) return {kFloat8, number > 0 ? "Infinity" : "-Infinity", true};
    if (number == 0.0 && std::signbit(number)) return {kFloat8, "-0", true};
    // The shortest digits that read back as the same double, as repr writes
    // them; ".0" keeps a whole number from reading as an integer constant.
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), number);
    std::string text(buffer, static_cast<size_t>(end - buffer));
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return {kNumeric, std::move(text)};
}

PyObject* float_from_text(const char* text, size_t length) {
    double value = 0;
    auto [end, ec] = std::from_chars(text, text + length, value);
    if (ec == std::errc() && end == text + length) return PyFloat_FromDouble(value);
    // Out of range, or a spelling from_chars does not take: Python's parser decides.
    std::string owned(text, length);
    value = PyOS_string_to_double(owned.c_str(), nullptr, nullptr);
    if (value == -1.0 && PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(value);
}

NumberText decimal_number(PyObject* value) {
    // The specials read from the base type's text too ("NaN", "-sNaN",
    // "-Infinity"): a subclass's is_finite or is_nan could say otherwise.
    std::string text = decimal_text(value);
    if (text.find("NaN") != std::string::npos) return {kNumeric, "NaN", true};
    if (text.find("Infinity") != std::string::npos)
        return {kNumeric, text.front() == '-' ? "-Infinity" : "Infinity", true};
    const Oid type = number_constant_type(text);
    return {type, std::move(text)};
}

bool is_decimal(PyObject* value) {
    PyObject* decimal = python_types().decimal;
    return Py_TYPE(value) == reinterpret_cast<PyTypeObject*>(decimal) || is_instance(value, decimal);
}

Oid number_constant_type(std::string_view digits) {
    const bool negative = !digits.empty() && digits.front() == '-';
    const std::string_view magnitude = negative ? digits.substr(1) : digits;
    if (magnitude.empty() || magnitude.find_first_not_of("0123456789") != std::string_view::npos) return kNumeric;
    long long number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size()) return kNumeric;
    return (number >= INT32_MIN && number <= INT32_MAX) ? kInt4 : kInt8;
}

}  // namespace nelvor::driver
