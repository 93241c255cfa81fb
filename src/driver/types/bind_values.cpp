#include "driver/types/bind_values.hpp"

#include <nanobind/stl/string_view.h>

#include <cstdint>
#include <cstring>
#include <optional>

#include "driver/types/canonical_text.hpp"
#include "driver/types/type_oids.hpp"
#include "driver/errors.hpp"
#include "driver/python_types.hpp"
#include "driver/python_values.hpp"
#include "driver/types/literal.hpp"
#include "driver/types/number_text.hpp"

namespace nelvor::driver {

using namespace type_oid;

namespace {

constexpr size_t kNull = SIZE_MAX;

struct TypedText {
    Oid type;
    std::string text;
};

std::string_view checked_utf8(PyObject* text) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) throw nb::python_error();
    if (std::memchr(utf8, '\0', static_cast<size_t>(size)) != nullptr) {
        raise_error(ErrorKind::DataError, "A string literal cannot contain NUL (0x00) characters.");
    }
    return std::string_view(utf8, static_cast<size_t>(size));
}

// Arrays of one element kind (NULLs anywhere) become parameters of the
// array type PostgreSQL gives ARRAY[...] of their literals; nested lists and
// mixed kinds keep their literal.
class ArrayText {
public:
    bool add(PyObject* item) {
        if (!text_.empty()) text_ += ',';
        if (item == Py_None) {
            text_ += "NULL";
            return true;
        }
        if (item == Py_True || item == Py_False) {
            text_ += item == Py_True ? 't' : 'f';
            return same_kind(kBoolArray);
        }
        if (PyUnicode_Check(item)) {
            quote(checked_utf8(item));
            return same_kind(kTextArray);
        }
        std::optional<NumberText> number;
        if (PyLong_Check(item)) {
            number = int_number(item);
        } else if (PyFloat_Check(item)) {
            number = float_number(PyFloat_AS_DOUBLE(item));
        } else if (is_decimal(item)) {
            number = decimal_number(item);
        }
        if (!number || number->type == kFloat8) return false;
        text_ += number->text;
        widest_number_ = std::max(widest_number_, number_rank(number->type));
        return same_kind(kNumericArray);
    }

    TypedText finish() const {
        if (kind_ == 0) return {kTextArray, "{" + text_ + "}"};  // only NULLs: text[], as ARRAY[NULL]
        if (kind_ != kNumericArray) return {kind_, "{" + text_ + "}"};
        static constexpr Oid by_rank[] = {kInt4Array, kInt8Array, kNumericArray};
        return {by_rank[widest_number_], "{" + text_ + "}"};
    }

private:
    static int number_rank(Oid type) { return type == kInt4 ? 0 : type == kInt8 ? 1 : 2; }

    bool same_kind(Oid kind) {
        if (kind_ == 0) kind_ = kind;
        return kind_ == kind;
    }

    void quote(std::string_view text) {
        text_ += '"';
        for (const char c : text) {
            if (c == '"' || c == '\\') text_ += '\\';
            text_ += c;
        }
        text_ += '"';
    }

    std::string text_;
    Oid kind_ = 0;
    int widest_number_ = 0;
};

std::optional<TypedText> array_value(PyObject* sequence) {
    nb::object items = nb::steal(PySequence_Tuple(sequence));
    if (!items.is_valid()) throw nb::python_error();
    const Py_ssize_t count = PyTuple_GET_SIZE(items.ptr());
    if (count == 0) return TypedText{kUnknown, "{}"};  // '{}', an untyped literal
    ArrayText array;
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (!array.add(PyTuple_GET_ITEM(items.ptr(), i))) return std::nullopt;
    }
    return array.finish();
}

}  // namespace

void BoundValues::add(Oid type, std::string_view text, int format) {
    types_.push_back(type);
    formats_.push_back(format);
    offsets_.push_back(storage_.size());
    lengths_.push_back(text.size());
    storage_.append(text);
    storage_ += '\0';  // libpq reads text-format values up to their NUL
}

void BoundValues::add_null() {
    types_.push_back(kUnknown);
    formats_.push_back(0);
    offsets_.push_back(kNull);
    lengths_.push_back(0);
}

bool BoundValues::append(PyObject* value) {
    if (value == Py_None) {
        add_null();
    } else if (value == Py_True || value == Py_False) {
        add(kBool, value == Py_True ? "t" : "f");
    } else if (PyLong_Check(value)) {
        NumberText number = int_number(value);
        add(number.type, number.text);
    } else if (PyUnicode_Check(value)) {
        add(kUnknown, checked_utf8(value));
    } else if (PyFloat_Check(value)) {
        NumberText number = float_number(PyFloat_AS_DOUBLE(value));
        add(number.type, number.text);
    } else if (PyList_Check(value) || PyTuple_Check(value)) {
        std::optional<TypedText> array = array_value(value);
        if (!array) return false;
        add(array->type, array->text);
    } else if (PyBytes_Check(value) || PyByteArray_Check(value) || PyMemoryView_Check(value)) {
        Py_buffer view;
        if (PyObject_GetBuffer(value, &view, PyBUF_SIMPLE) != 0) throw nb::python_error();
        add(kBytea, std::string_view(static_cast<const char*>(view.buf), static_cast<size_t>(view.len)), 1);
        PyBuffer_Release(&view);
    } else if (PyDict_Check(value)) {
        return false;
    } else if (is_decimal(value)) {
        NumberText number = decimal_number(value);
        add(number.type, number.text);
    } else if (std::optional<TemporalValue> temporal = temporal_value(value)) {
        add(temporal->type, temporal->text);
    } else if (is_instance(value, python_types().uuid)) {
        add(kUuid, uuid_text(value));
    } else {
        return false;
    }
    return true;
}

BoundValues::Arrays BoundValues::arrays() const {
    Arrays arrays;
    const size_t count = types_.size();
    arrays.values.reserve(count);
    arrays.lengths.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        arrays.values.push_back(offsets_[i] == kNull ? nullptr : storage_.data() + offsets_[i]);
        arrays.lengths.push_back(static_cast<int>(lengths_[i]));
    }
    arrays.formats = formats_;
    return arrays;
}

}  // namespace nelvor::driver
