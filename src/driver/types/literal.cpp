#include "driver/types/literal.hpp"

#include <nanobind/stl/string_view.h>
#include <cstring>

#include "driver/execution/placeholders.hpp"
#include "driver/types/canonical_text.hpp"
#include "driver/types/type_oids.hpp"
#include "driver/errors.hpp"
#include "driver/python_types.hpp"
#include "driver/python_values.hpp"
#include "driver/types/number_text.hpp"

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

// NaN, the infinities and -0 are no constants: quoted and cast.
void append_number(std::string& out, const NumberText& number) {
    if (!number.quoted) return append_number_text(out, number.text);
    out += '\'';
    out += number.text;
    out += number.type == type_oid::kFloat8 ? "'::float8" : "'::numeric";
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

// Subclasses and the less common types; the exact built-ins are handled inline.
void append_other(std::string& out, PyObject* value, const LiteralContext& context) {
    const PythonTypes& types = python_types();
    if (PyLong_Check(value)) return append_number(out, int_number(value));
    if (PyFloat_Check(value)) return append_number(out, float_number(PyFloat_AS_DOUBLE(value)));
    if (PyUnicode_Check(value)) return append_text(out, value, context);
    if (PyBytes_Check(value) || PyByteArray_Check(value) || PyMemoryView_Check(value)) {
        return append_buffer(out, value, context);
    }
    if (is_decimal(value)) return append_number(out, decimal_number(value));
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
        append_number(out, int_number(value));
    } else if (PyUnicode_CheckExact(value)) {
        append_text(out, value, context);
    } else if (PyFloat_CheckExact(value)) {
        append_number(out, float_number(PyFloat_AS_DOUBLE(value)));
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

}  // namespace nelvor::driver
