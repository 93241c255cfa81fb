#include "connections/core/json_decode.hpp"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace nelvor::driver {

namespace {

// Numbers arrive as raw text so that integers of any size stay exact and
// floats are rounded by Python's own parser, as json.loads does.
PyObject* number_from_text(const char* text, size_t length) {
    bool integral = true;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '.' || c == 'e' || c == 'E') {
            integral = false;
            break;
        }
    }
    if (integral) {
        const bool negative = length > 0 && text[0] == '-';
        const size_t digits = length - (negative ? 1 : 0);
        if (digits <= 18) {
            long long value = 0;
            for (size_t i = negative ? 1 : 0; i < length; ++i) value = value * 10 + (text[i] - '0');
            return PyLong_FromLongLong(negative ? -value : value);
        }
        std::string owned(text, length);
        return PyLong_FromString(owned.c_str(), nullptr, 10);
    }
    std::string owned(text, length);
    double value = PyOS_string_to_double(owned.c_str(), nullptr, nullptr);
    if (value == -1.0 && PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(value);
}

// Object keys repeat from row to row ("name", "address", ...): a small
// direct-mapped cache hands out the same str object for the same short key,
// which spares an allocation and, since a str caches its hash, the hashing
// on insertion. Used with the GIL held only.
class KeyCache {
public:
    PyObject* get(const char* text, size_t length) {
        if (length > kMaxKeyLength) return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(length), "strict");
        uint32_t hash = 2166136261u;
        for (size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * 16777619u;
        Slot& slot = slots_[hash % kSlots];
        if (slot.key != nullptr && slot.length == length && std::memcmp(slot.bytes, text, length) == 0) {
            Py_INCREF(slot.key);
            return slot.key;
        }
        PyObject* key = PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(length), "strict");
        if (key == nullptr) return nullptr;
        if (PyObject_Hash(key) == -1) PyErr_Clear();
        Py_XSETREF(slot.key, Py_NewRef(key));
        slot.length = length;
        std::memcpy(slot.bytes, text, length);
        return key;
    }

private:
    static constexpr size_t kMaxKeyLength = 32;
    static constexpr size_t kSlots = 512;
    struct Slot {
        PyObject* key = nullptr;
        size_t length = 0;
        char bytes[kMaxKeyLength];
    };
    Slot slots_[kSlots];
};

KeyCache& key_cache() {
    // Its destructor releases nothing: the cached keys live as long as the process.
    static KeyCache cache;
    return cache;
}

class PyObjectBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PyObjectBuilder> {
public:
    ~PyObjectBuilder() {
        for (PyObject* container : stack_) Py_DECREF(container);
        Py_XDECREF(pending_key_);
        Py_XDECREF(root_);
    }

    PyObject* release_root() {
        PyObject* root = root_;
        root_ = nullptr;
        return root;
    }

    bool Null() { return add_borrowed(Py_None); }
    bool Bool(bool value) { return add_borrowed(value ? Py_True : Py_False); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        return add(number_from_text(text, length));
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        return add(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(length), "strict"));
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        pending_key_ = key_cache().get(text, length);
        return pending_key_ != nullptr;
    }
    bool StartObject() { return open(PyDict_New()); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool StartArray() { return open(PyList_New(0)); }
    bool EndArray(rapidjson::SizeType) { return close(); }

private:
    bool add_borrowed(PyObject* value) {
        Py_INCREF(value);
        return add(value);
    }

    // Takes ownership of `value`.
    bool add(PyObject* value) {
        if (value == nullptr) return false;
        if (stack_.empty()) {
            root_ = value;
            return true;
        }
        PyObject* parent = stack_.back();
        int status;
        if (PyList_CheckExact(parent)) {
            status = PyList_Append(parent, value);
        } else {
            status = PyDict_SetItem(parent, pending_key_, value);
            Py_CLEAR(pending_key_);
        }
        Py_DECREF(value);
        return status == 0;
    }

    bool open(PyObject* container) {
        if (container == nullptr) return false;
        // The parent keeps a reference; the stack holds its own one.
        Py_INCREF(container);
        if (!add(container)) {
            Py_DECREF(container);
            return false;
        }
        stack_.push_back(container);
        return true;
    }

    bool close() {
        untrack_if_atomic(stack_.back());
        Py_DECREF(stack_.back());
        stack_.pop_back();
        return true;
    }

    // A dict holding no value the collector tracks cannot be part of a cycle;
    // CPython untracks such dicts itself on the first collection (and tracks
    // them again when a container is put in). Doing it now spares the
    // collector a pass over every decoded object. Lists always stay tracked.
    static void untrack_if_atomic(PyObject* container) {
        if (!PyDict_CheckExact(container)) return;
        Py_ssize_t position = 0;
        PyObject* key;
        PyObject* value;
        while (PyDict_Next(container, &position, &key, &value)) {
            if (PyObject_IS_GC(value) && PyObject_GC_IsTracked(value)) return;
        }
        PyObject_GC_UnTrack(container);
    }

    std::vector<PyObject*> stack_;
    PyObject* pending_key_ = nullptr;
    PyObject* root_ = nullptr;
};

}  // namespace

PyObject* decode_json(const char* text, size_t length) {
    PyObjectBuilder builder;
    rapidjson::Reader reader;
    // Parsed in place in a copy: strings without escapes are then handed to
    // the builder where they stand instead of being copied a byte at a time.
    // A copy of a large document is not kept for the next one.
    constexpr size_t kKeptBufferBytes = 1 << 20;
    thread_local std::string buffer;
    buffer.assign(text, length);
    rapidjson::InsituStringStream stream(buffer.data());
    // Iterative: deep nesting cannot exhaust the stack.
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag |
                                rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseFullPrecisionFlag;
    rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
    if (buffer.capacity() > kKeptBufferBytes) std::string().swap(buffer);
    if (!result) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_ValueError, "invalid JSON from the server at offset %zu: %s", result.Offset(),
                         rapidjson::GetParseError_En(result.Code()));
        }
        return nullptr;
    }
    return builder.release_root();
}

}  // namespace nelvor::driver
