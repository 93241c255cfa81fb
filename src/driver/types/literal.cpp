#include "driver/types/literal.hpp"

#include <nanobind/stl/string_view.h>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "driver/execution/placeholders.hpp"
#include "driver/types/canonical_text.hpp"
#include "driver/types/type_oids.hpp"
#include "driver/errors.hpp"
#include "driver/python_types.hpp"

namespace nelvor::driver {

namespace {

std::string type_name(PyObject* value) { return Py_TYPE(value)->tp_name; }

[[noreturn]] void cannot_adapt(PyObject* value) {
    raise_error(ErrorKind::ProgrammingError, "can't adapt type '" + type_name(value) + "'");
}

// Negative numbers get a leading blank so that "1-%s" never becomes a comment.
void append_number_text(std::string& out, std::string_view digits) {
    if (!digits.empty() && digits.front() == '-') out += ' ';
    out += digits;
}

void append_object_text(std::string& out, PyObject* text_object) {
    if (text_object == nullptr) throw nb::python_error();
    nb::object owned = nb::steal(text_object);
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text_object, &size);
    if (utf8 == nullptr) throw nb::python_error();
    append_number_text(out, std::string_view(utf8, static_cast<size_t>(size)));
}

void append_int(std::string& out, PyObject* value) {
    int overflow = 0;
    long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0) {
        append_object_text(out, PyLong_Type.tp_repr(value));
        return;
    }
    if (number == -1 && PyErr_Occurred()) throw nb::python_error();
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), number);
    append_number_text(out, std::string_view(buffer, static_cast<size_t>(end - buffer)));
}

void append_float(std::string& out, double number) {
    if (std::isnan(number)) {
        out += "'NaN'::float8";
        return;
    }
    if (std::isinf(number)) {
        out += number > 0 ? "'Infinity'::float8" : "'-Infinity'::float8";
        return;
    }
    if (number == 0 && std::signbit(number)) {
        // A bare -0.0 is read as numeric, which has no negative zero.
        out += "'-0'::float8";
        return;
    }
    char* text = PyOS_double_to_string(number, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (text == nullptr) throw nb::python_error();
    append_number_text(out, text);
    PyMem_Free(text);
}

void append_decimal(std::string& out, PyObject* value) {
    nb::object finite = nb::steal(PyObject_CallMethod(value, "is_finite", nullptr));
    if (!finite.is_valid()) throw nb::python_error();
    if (!PyObject_IsTrue(finite.ptr())) {
        nb::object nan = nb::steal(PyObject_CallMethod(value, "is_nan", nullptr));
        if (!nan.is_valid()) throw nb::python_error();
        if (PyObject_IsTrue(nan.ptr())) {
            out += "'NaN'::numeric";
        } else {
            nb::object negative = nb::steal(PyObject_CallMethod(value, "is_signed", nullptr));
            if (!negative.is_valid()) throw nb::python_error();
            out += PyObject_IsTrue(negative.ptr()) ? "'-Infinity'::numeric" : "'Infinity'::numeric";
        }
        return;
    }
    append_number_text(out, decimal_text(value));
}

void append_text(std::string& out, PyObject* value, const LiteralContext& context) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (utf8 == nullptr) throw nb::python_error();
    const size_t length = static_cast<size_t>(size);
    if (std::memchr(utf8, '\0', length) != nullptr) {
        raise_error(ErrorKind::DataError, "A string literal cannot contain NUL (0x00) characters.");
    }
    // Python's UTF-8 is always well formed, so quoting is all the escaping
    // needed (backslashes too when they are escape characters).
    if (!context.standard_strings) out += 'E';
    out += '\'';
    for (size_t i = 0; i < length; ++i) {
        const char c = utf8[i];
        if (c == '\'' || (c == '\\' && !context.standard_strings)) out += c;
        out += c;
    }
    out += '\'';
}

void append_bytes(std::string& out, const unsigned char* data, size_t length, const LiteralContext& context) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += context.standard_strings ? "'\\x" : "E'\\\\x";
    const size_t start = out.size();
    out.resize(start + 2 * length);
    char* cursor = out.data() + start;
    for (size_t i = 0; i < length; ++i) {
        *cursor++ = kHex[data[i] >> 4];
        *cursor++ = kHex[data[i] & 0x0f];
    }
    out += "'::bytea";
}

void append_buffer(std::string& out, PyObject* value, const LiteralContext& context) {
    Py_buffer view;
    if (PyObject_GetBuffer(value, &view, PyBUF_SIMPLE) != 0) throw nb::python_error();
    try {
        append_bytes(out, static_cast<const unsigned char*>(view.buf), static_cast<size_t>(view.len), context);
    } catch (...) {
        PyBuffer_Release(&view);
        throw;
    }
    PyBuffer_Release(&view);
}

void append_array(std::string& out, PyObject* sequence, const LiteralContext& context) {
    // A tuple snapshot: rendering may run Python code (tzinfo, __str__) that
    // could otherwise change the list under the loop.
    nb::object items = nb::steal(PySequence_Tuple(sequence));
    if (!items.is_valid()) throw nb::python_error();
    const Py_ssize_t count = PyTuple_GET_SIZE(items.ptr());
    if (count == 0) {
        out += "'{}'";
        return;
    }
    if (Py_EnterRecursiveCall(" while rendering a list parameter") != 0) throw nb::python_error();
    try {
        out += "ARRAY[";
        for (Py_ssize_t i = 0; i < count; ++i) {
            if (i > 0) out += ',';
            append_literal(out, PyTuple_GET_ITEM(items.ptr(), i), context);
        }
        out += ']';
    } catch (...) {
        Py_LeaveRecursiveCall();
        throw;
    }
    Py_LeaveRecursiveCall();
}

void append_uuid(std::string& out, PyObject* value) {
    out += '\'';
    out += uuid_text(value);
    out += "'::uuid";
}

bool is_instance(PyObject* value, PyObject* type) {
    int result = PyObject_IsInstance(value, type);
    if (result < 0) throw nb::python_error();
    return result == 1;
}

// Subclasses and the less common types; the exact built-ins are handled inline.
void append_other(std::string& out, PyObject* value, const LiteralContext& context) {
    const PythonTypes& types = python_types();
    if (PyLong_Check(value)) return append_int(out, value);
    if (PyFloat_Check(value)) return append_float(out, PyFloat_AS_DOUBLE(value));
    if (PyUnicode_Check(value)) return append_text(out, value, context);
    if (PyBytes_Check(value) || PyByteArray_Check(value) || PyMemoryView_Check(value)) {
        return append_buffer(out, value, context);
    }
    if (Py_TYPE(value) == reinterpret_cast<PyTypeObject*>(types.decimal) || is_instance(value, types.decimal)) {
        return append_decimal(out, value);
    }
    if (append_temporal_literal(out, value)) return;
    if (is_instance(value, types.uuid)) return append_uuid(out, value);
    if (PyList_Check(value) || PyTuple_Check(value)) return append_array(out, value, context);
    cannot_adapt(value);
}

}  // namespace

LiteralContext literal_context(PGconn* conn) {
    const char* standard = PQparameterStatus(conn, "standard_conforming_strings");
    return LiteralContext{standard == nullptr || std::strcmp(standard, "on") == 0};
}

void append_literal(std::string& out, PyObject* value, const LiteralContext& context) {
    if (value == Py_None) {
        out += "NULL";
    } else if (value == Py_True) {
        out += "true";
    } else if (value == Py_False) {
        out += "false";
    } else if (PyLong_CheckExact(value)) {
        append_int(out, value);
    } else if (PyUnicode_CheckExact(value)) {
        append_text(out, value, context);
    } else if (PyFloat_CheckExact(value)) {
        append_float(out, PyFloat_AS_DOUBLE(value));
    } else if (PyList_CheckExact(value) || PyTuple_CheckExact(value)) {
        append_array(out, value, context);
    } else if (PyBytes_CheckExact(value)) {
        append_bytes(out, reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(value)),
                     static_cast<size_t>(PyBytes_GET_SIZE(value)), context);
    } else if (PyDict_Check(value)) {
        cannot_adapt(value);
    } else {
        append_other(out, value, context);
    }
}

std::string render_query(const LiteralContext& context, std::string_view query, nb::handle params) {
    const nb::tuple items = parameter_snapshot(params);
    const Py_ssize_t count = static_cast<Py_ssize_t>(items.size());
    std::string out;
    out.reserve(query.size() + static_cast<size_t>(count) * 16);
    Py_ssize_t next = 0;
    scan_placeholders(
        query, [&](std::string_view text) { out.append(text); },
        [&] {
            if (next >= count) parameter_count_mismatch(query, count);
            append_literal(out, PyTuple_GET_ITEM(items.ptr(), next++), context);
        });
    if (next != count) parameter_count_mismatch(query, count);
    return out;
}

Oid number_constant_type(std::string_view digits) {
    const bool negative = !digits.empty() && digits.front() == '-';
    const std::string_view magnitude = negative ? digits.substr(1) : digits;
    if (magnitude.empty() || magnitude.find_first_not_of("0123456789") != std::string_view::npos) {
        return type_oid::kNumeric;
    }
    long long number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size()) return type_oid::kNumeric;
    return (number >= INT32_MIN && number <= INT32_MAX) ? type_oid::kInt4 : type_oid::kInt8;
}

}  // namespace nelvor::driver
