// Array text output ("{a,\"b c\",NULL}", nested braces) to nested lists.
#include <string>
#include <string_view>

#include "driver/types/decode.hpp"

namespace nelvor::driver {

namespace {

class ArrayParser {
public:
    ArrayParser(const char* text, size_t length, CellDecoder element)
        : at_(text), end_(text + length), element_(element) {}

    PyObject* parse() {
        // Arrays with non-default bounds start with "[lo:hi]=".
        if (at_ != end_ && *at_ == '[') {
            while (at_ != end_ && *at_ != '=') ++at_;
            if (at_ != end_) ++at_;
        }
        return parse_list();
    }

private:
    PyObject* malformed() {
        PyErr_SetString(PyExc_ValueError, "malformed array value from the server");
        return nullptr;
    }

    PyObject* parse_list() {
        if (at_ == end_ || *at_ != '{') return malformed();
        ++at_;
        PyObject* list = PyList_New(0);
        if (list == nullptr) return nullptr;
        if (at_ != end_ && *at_ == '}') {
            ++at_;
            return list;
        }
        while (true) {
            PyObject* item = (at_ != end_ && *at_ == '{') ? parse_list() : parse_element();
            if (item == nullptr || PyList_Append(list, item) != 0) {
                Py_XDECREF(item);
                Py_DECREF(list);
                return nullptr;
            }
            Py_DECREF(item);
            if (at_ != end_ && *at_ == ',') {
                ++at_;
                continue;
            }
            if (at_ != end_ && *at_ == '}') {
                ++at_;
                return list;
            }
            Py_DECREF(list);
            return malformed();
        }
    }

    PyObject* parse_element() {
        if (at_ != end_ && *at_ == '"') return parse_quoted();
        const char* start = at_;
        while (at_ != end_ && *at_ != ',' && *at_ != '}') ++at_;
        const size_t length = static_cast<size_t>(at_ - start);
        if (std::string_view(start, length) == "NULL") {
            Py_RETURN_NONE;
        }
        return element_(start, length);
    }

    PyObject* parse_quoted() {
        ++at_;
        buffer_.clear();
        while (at_ != end_ && *at_ != '"') {
            if (*at_ == '\\' && at_ + 1 != end_) ++at_;
            buffer_ += *at_++;
        }
        if (at_ == end_) return malformed();
        ++at_;
        return element_(buffer_.data(), buffer_.size());
    }

    const char* at_;
    const char* end_;
    CellDecoder element_;
    std::string buffer_;
};

}  // namespace

PyObject* decode_array(const char* text, size_t length, CellDecoder element) {
    return ArrayParser(text, length, element).parse();
}

}  // namespace nelvor::driver
