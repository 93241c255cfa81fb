#include "driver/types/json_decode.hpp"
#include "driver/types/number_text.hpp"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace nelvor::driver {

namespace {

// Numbers arrive as raw text so that integers of any size stay exact and
// floats are rounded as Python's float() rounds them, as json.loads does.
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
    return float_from_text(text, length);
}

// Object keys repeat from row to row ("name", "address", ...): a small
// direct-mapped cache hands out the same str object for the same short key,
// which spares an allocation and, since a str caches its hash, the hashing
// on insertion. Used with the GIL held only.
class KeyCache {
public:
    PyObject* get(const char* text, size_t length) {
        if (length > kMaxKeyLength) return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(length), "strict");
        Slot& slot = slots_[slot_of(text, length)];
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

    // From the length and the first and last eight bytes: a few operations
    // whatever the key's length, where hashing byte by byte costs a
    // multiplication per byte. Keys that collide only share a slot; the
    // bytes are compared before a key is handed out.
    static size_t slot_of(const char* text, size_t length) {
        uint64_t head = 0;
        uint64_t tail = 0;
        if (length >= sizeof(uint64_t)) {
            std::memcpy(&head, text, sizeof(head));
            std::memcpy(&tail, text + length - sizeof(tail), sizeof(tail));
        } else {
            std::memcpy(&head, text, length);
        }
        uint64_t mixed = (head ^ length) * 0x9E3779B97F4A7C15ull ^ tail * 0xC2B2AE3D27D4EB4Full;
        mixed ^= mixed >> 32;
        return static_cast<size_t>(mixed % kSlots);
    }
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
        for (const Open& open : stack_) Py_DECREF(open.container);
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
        PyObject* parent = stack_.back().container;
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
        stack_.push_back(Open{container, false});
        return true;
    }

    // A dict holding no value the collector tracks cannot be part of a cycle;
    // CPython untracks such dicts itself on the first collection (and tracks
    // them again when a container is put in). Doing it now spares the
    // collector a pass over every decoded object. Lists always stay tracked,
    // and so does whatever holds a tracked container; strings, numbers,
    // booleans and None are never tracked.
    bool close() {
        const Open closed = stack_.back();
        stack_.pop_back();
        const bool tracked = !PyDict_CheckExact(closed.container) || closed.holds_tracked;
        if (!tracked) PyObject_GC_UnTrack(closed.container);
        if (tracked && !stack_.empty()) stack_.back().holds_tracked = true;
        Py_DECREF(closed.container);
        return true;
    }

    struct Open {
        PyObject* container;
        bool holds_tracked;  // a tracked container was put in
    };
    std::vector<Open> stack_;
    PyObject* pending_key_ = nullptr;
    PyObject* root_ = nullptr;
};

// What RapidJSON refuses but the server's json type stores and json.loads
// reads: numbers beyond a double (integers of any size, 1e400) and escapes
// of lone surrogates ("\ud800"; a lone low one fails in UTF-8 decoding).
bool is_left_to_python(rapidjson::ParseErrorCode code) {
    if (code == rapidjson::kParseErrorNumberTooBig || code == rapidjson::kParseErrorStringUnicodeSurrogateInvalid)
        return true;
    return code == rapidjson::kParseErrorTermination && PyErr_ExceptionMatches(PyExc_UnicodeDecodeError);
}

// The rare documents above go to the json module itself.
PyObject* decode_with_python(const char* text, size_t length) {
    static PyObject* loads = nullptr;  // kept for the process, like the module
    if (loads == nullptr) {
        PyObject* module = PyImport_ImportModule("json");
        if (module == nullptr) return nullptr;
        loads = PyObject_GetAttrString(module, "loads");
        Py_DECREF(module);
        if (loads == nullptr) return nullptr;
    }
    PyObject* document = PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(length), "strict");
    if (document == nullptr) return nullptr;
    PyObject* decoded = PyObject_CallOneArg(loads, document);
    Py_DECREF(document);
    return decoded;
}

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
        if (is_left_to_python(result.Code())) {
            PyErr_Clear();
            return decode_with_python(text, length);
        }
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_ValueError, "invalid JSON from the server at offset %zu: %s", result.Offset(),
                         rapidjson::GetParseError_En(result.Code()));
        }
        return nullptr;
    }
    return builder.release_root();
}

}  // namespace nelvor::driver
