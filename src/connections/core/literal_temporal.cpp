// SQL literals of the datetime module's values.
#include <nanobind/stl/string_view.h>
#include <Python.h>
#include <datetime.h>

#include <string>

#include "connections/core/driver_errors.hpp"
#include "connections/core/driver_pytypes.hpp"
#include "connections/core/literal.hpp"

namespace nelvor::driver {

namespace {

bool has_utc_offset(PyObject* value) {
    nb::object offset = nb::steal(PyObject_CallMethod(value, "utcoffset", nullptr));
    if (!offset.is_valid()) throw nb::python_error();
    return !offset.is_none();
}

void append_isoformat(std::string& out, PyObject* value, const char* cast) {
    nb::object text = nb::steal(PyObject_CallMethod(value, "isoformat", nullptr));
    if (!text.is_valid()) throw nb::python_error();
    out += '\'';
    out += nb::cast<std::string_view>(text);
    out += "'::";
    out += cast;
}

void append_interval(std::string& out, PyObject* delta) {
    out += '\'';
    out += std::to_string(PyDateTime_DELTA_GET_DAYS(delta));
    out += " days ";
    out += std::to_string(PyDateTime_DELTA_GET_SECONDS(delta));
    out += " seconds ";
    out += std::to_string(PyDateTime_DELTA_GET_MICROSECONDS(delta));
    out += " microseconds'::interval";
}

}  // namespace

bool append_temporal_literal(std::string& out, PyObject* value) {
    NELVOR_ENSURE_DATETIME_API();
    if (PyDateTime_Check(value)) {
        append_isoformat(out, value, has_utc_offset(value) ? "timestamptz" : "timestamp");
    } else if (PyDate_Check(value)) {
        append_isoformat(out, value, "date");
    } else if (PyTime_Check(value)) {
        append_isoformat(out, value, has_utc_offset(value) ? "timetz" : "time");
    } else if (PyDelta_Check(value)) {
        append_interval(out, value);
    } else {
        return false;
    }
    return true;
}

}  // namespace nelvor::driver
