#include "driver/types/json_encode.hpp"

#include <nanobind/stl/string_view.h>
#include <charconv>
#include <cmath>

namespace nelvor::driver {

namespace {

class JsonWriter {
public:
    explicit JsonWriter(bool ensure_ascii) : ensure_ascii_(ensure_ascii) {}

    std::string take() { return std::move(out_); }

    void value(PyObject* value) {
        if (value == Py_None) {
            out_ += "null";
        } else if (value == Py_True) {
            out_ += "true";
        } else if (value == Py_False) {
            out_ += "false";
        } else if (PyUnicode_Check(value)) {
            string(value);
        } else if (PyLong_Check(value)) {
            integer(value);
        } else if (PyFloat_Check(value)) {
            real(PyFloat_AS_DOUBLE(value));
        } else if (PyList_Check(value) || PyTuple_Check(value)) {
            guarded([&] { array(value); });
        } else if (PyDict_Check(value)) {
            guarded([&] { object(value); });
        } else {
            PyErr_Format(PyExc_TypeError, "Object of type %s is not JSON serializable", Py_TYPE(value)->tp_name);
            throw nb::python_error();
        }
    }

private:
    template <typename Body>
    void guarded(Body body) {
        if (Py_EnterRecursiveCall(" while encoding a JSON value") != 0) throw nb::python_error();
        try {
            body();
        } catch (...) {
            Py_LeaveRecursiveCall();
            throw;
        }
        Py_LeaveRecursiveCall();
    }

    void integer(PyObject* value) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0 && !(number == -1 && PyErr_Occurred())) {
            char buffer[24];
            auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), number);
            out_.append(buffer, static_cast<size_t>(end - buffer));
            return;
        }
        PyErr_Clear();
        nb::object text = nb::steal(PyLong_Type.tp_repr(value));
        if (!text.is_valid()) throw nb::python_error();
        out_ += nb::cast<std::string_view>(text);
    }

    void real(double number) {
        if (!std::isfinite(number)) {
            PyErr_Format(PyExc_ValueError, "Out of range float values are not JSON compliant: %R",
                         nb::float_(number).ptr());
            throw nb::python_error();
        }
        char* text = PyOS_double_to_string(number, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
        if (text == nullptr) throw nb::python_error();
        out_ += text;
        PyMem_Free(text);
    }

    void unicode_escape(unsigned code) {
        static constexpr char kHex[] = "0123456789abcdef";
        char buffer[6] = {'\\', 'u', kHex[(code >> 12) & 0xf], kHex[(code >> 8) & 0xf], kHex[(code >> 4) & 0xf],
                          kHex[code & 0xf]};
        out_.append(buffer, 6);
    }

    // The escape json.dumps writes for a control character, a quote or a backslash (or DEL).
    void ascii_escape(unsigned c) {
        switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            case '\b': out_ += "\\b"; break;
            case '\f': out_ += "\\f"; break;
            default: unicode_escape(c); break;
        }
    }

    // ASCII text is copied in runs between the characters that need an escape.
    void ascii_string(PyObject* text) {
        const char* data = reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(text));
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        out_ += '"';
        Py_ssize_t plain = 0;
        for (Py_ssize_t i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(data[i]);
            if (c >= 0x20 && c != '"' && c != '\\' && !(c == 0x7f && ensure_ascii_)) continue;
            out_.append(data + plain, static_cast<size_t>(i - plain));
            plain = i + 1;
            ascii_escape(c);
        }
        out_.append(data + plain, static_cast<size_t>(length - plain));
        out_ += '"';
    }

    void string(PyObject* text) {
        if (PyUnicode_IS_ASCII(text)) return ascii_string(text);
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        const int kind = PyUnicode_KIND(text);
        const void* data = PyUnicode_DATA(text);
        out_ += '"';
        for (Py_ssize_t i = 0; i < length; ++i) {
            const Py_UCS4 c = PyUnicode_READ(kind, data, i);
            if (c < 0x20 || c == '"' || c == '\\') {
                ascii_escape(c);
            } else if (c < 0x7f) {
                out_ += static_cast<char>(c);
            } else if (ensure_ascii_) {
                if (c >= 0x10000) {
                    const Py_UCS4 v = c - 0x10000;
                    unicode_escape(0xd800 | (v >> 10));
                    unicode_escape(0xdc00 | (v & 0x3ff));
                } else {
                    unicode_escape(c);  // DEL included, as json.dumps does
                }
            } else if (c == 0x7f) {
                out_ += static_cast<char>(c);
            } else {
                append_utf8(c);
            }
        }
        out_ += '"';
    }

    void append_utf8(Py_UCS4 c) {
        if (c < 0x800) {
            out_ += static_cast<char>(0xc0 | (c >> 6));
        } else if (c < 0x10000) {
            out_ += static_cast<char>(0xe0 | (c >> 12));
            out_ += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        } else {
            out_ += static_cast<char>(0xf0 | (c >> 18));
            out_ += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            out_ += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        }
        out_ += static_cast<char>(0x80 | (c & 0x3f));
    }

    void array(PyObject* sequence) {
        nb::object items = nb::steal(PySequence_Fast(sequence, "expected a sequence"));
        if (!items.is_valid()) throw nb::python_error();
        const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.ptr());
        out_ += '[';
        for (Py_ssize_t i = 0; i < count; ++i) {
            if (i > 0) out_ += ", ";
            value(PySequence_Fast_GET_ITEM(items.ptr(), i));
        }
        out_ += ']';
    }

    // Keys as json.dumps writes them: str as is, other scalars by their JSON text.
    void key(PyObject* key) {
        if (PyUnicode_Check(key)) return string(key);
        out_ += '"';
        if (key == Py_True || key == Py_False || key == Py_None || PyLong_Check(key) || PyFloat_Check(key)) {
            value(key);
        } else {
            PyErr_Format(PyExc_TypeError, "keys must be str, int, float, bool or None, not %s", Py_TYPE(key)->tp_name);
            throw nb::python_error();
        }
        out_ += '"';
    }

    void object(PyObject* dict) {
        out_ += '{';
        Py_ssize_t position = 0;
        PyObject* k = nullptr;
        PyObject* v = nullptr;
        bool first = true;
        while (PyDict_Next(dict, &position, &k, &v)) {
            if (!first) out_ += ", ";
            first = false;
            // Keep the pair alive even if encoding runs Python code.
            nb::object key_ref = nb::borrow(k), value_ref = nb::borrow(v);
            key(k);
            out_ += ": ";
            value(v);
        }
        out_ += '}';
    }

    bool ensure_ascii_;
    std::string out_;
};

}  // namespace

std::string to_json_text(nb::handle value, bool ensure_ascii) {
    JsonWriter writer(ensure_ascii);
    writer.value(value.ptr());
    return writer.take();
}

}  // namespace nelvor::driver
