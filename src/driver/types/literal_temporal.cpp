// SQL literals of the datetime module's values.
#include <nanobind/stl/string_view.h>
#include <Python.h>
#include <datetime.h>

#include <string>

#include "driver/types/type_oids.hpp"
#include "driver/errors.hpp"
#include "driver/python_types.hpp"
#include "driver/types/literal.hpp"

namespace nelvor::driver {

namespace {

bool has_utc_offset(PyObject* value) {
    nb::object offset = nb::steal(PyObject_CallMethod(value, "utcoffset", nullptr));
    if (!offset.is_valid()) throw nb::python_error();
    return !offset.is_none();
}

// The base type's isoformat: a subclass may override it with any text.
std::string isoformat(PyTypeObject* base, PyObject* value) {
    nb::object text = nb::steal(PyObject_CallMethod(reinterpret_cast<PyObject*>(base), "isoformat", "O", value));
    if (!text.is_valid()) throw nb::python_error();
    return std::string(nb::cast<std::string_view>(text));
}

std::string interval_text(PyObject* delta) {
    return std::to_string(PyDateTime_DELTA_GET_DAYS(delta)) + " days " +
           std::to_string(PyDateTime_DELTA_GET_SECONDS(delta)) + " seconds " +
           std::to_string(PyDateTime_DELTA_GET_MICROSECONDS(delta)) + " microseconds";
}

}  // namespace

std::optional<TemporalValue> temporal_value(PyObject* value) {
    using namespace type_oid;
    NELVOR_ENSURE_DATETIME_API();
    if (PyDateTime_Check(value)) {
        PyTypeObject* base = PyDateTimeAPI->DateTimeType;
        return has_utc_offset(value) ? TemporalValue{kTimestamptz, "timestamptz", isoformat(base, value)}
                                     : TemporalValue{kTimestamp, "timestamp", isoformat(base, value)};
    }
    if (PyDate_Check(value)) return TemporalValue{kDate, "date", isoformat(PyDateTimeAPI->DateType, value)};
    if (PyTime_Check(value)) {
        PyTypeObject* base = PyDateTimeAPI->TimeType;
        return has_utc_offset(value) ? TemporalValue{kTimetz, "timetz", isoformat(base, value)}
                                     : TemporalValue{kTime, "time", isoformat(base, value)};
    }
    if (PyDelta_Check(value)) return TemporalValue{kInterval, "interval", interval_text(value)};
    return std::nullopt;
}

bool append_temporal_literal(std::string& out, PyObject* value) {
    std::optional<TemporalValue> temporal = temporal_value(value);
    if (!temporal) return false;
    out += '\'';
    out += temporal->text;
    out += "'::";
    out += temporal->type_name;
    return true;
}

}  // namespace nelvor::driver
