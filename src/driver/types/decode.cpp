#include "driver/types/decode.hpp"

#include <charconv>
#include <cstring>
#include <string>

#include "driver/handles.hpp"
#include "driver/types/type_oids.hpp"
#include "driver/python_types.hpp"
#include "driver/types/json_decode.hpp"
#include "driver/types/number_text.hpp"

namespace nelvor::driver {

namespace {

PyObject* decode_bool(const char* text, size_t length) {
    PyObject* result = (length > 0 && text[0] == 't') ? Py_True : Py_False;
    Py_INCREF(result);
    return result;
}

PyObject* decode_int(const char* text, size_t length) {
    long long number = 0;
    auto [end, ec] = std::from_chars(text, text + length, number);
    if (ec == std::errc() && end == text + length) return PyLong_FromLongLong(number);
    // Not representable in 64 bits: let Python parse the digits.
    PyObject* digits = PyUnicode_FromStringAndSize(text, static_cast<Py_ssize_t>(length));
    if (digits == nullptr) return nullptr;
    PyObject* result = PyLong_FromUnicodeObject(digits, 10);
    Py_DECREF(digits);
    return result;
}

PyObject* decode_float(const char* text, size_t length) { return float_from_text(text, length); }

PyObject* call_with_text(PyObject* callable, const char* text, size_t length) {
    PyObject* argument = decode_text(text, length);
    if (argument == nullptr) return nullptr;
    PyObject* result = PyObject_CallOneArg(callable, argument);
    Py_DECREF(argument);
    return result;
}

PyObject* decode_numeric(const char* text, size_t length) {
    return call_with_text(python_types().decimal, text, length);
}

PyObject* decode_uuid(const char* text, size_t length) {
    return call_with_text(python_types().uuid, text, length);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

PyObject* decode_bytea(const char* text, size_t length) {
    if (length >= 2 && text[0] == '\\' && text[1] == 'x' && length % 2 == 0) {
        const size_t size = (length - 2) / 2;
        PyObject* result = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
        if (result == nullptr) return nullptr;
        char* out = PyBytes_AS_STRING(result);
        for (size_t i = 0; i < size; ++i) {
            int high = hex_value(text[2 + 2 * i]), low = hex_value(text[3 + 2 * i]);
            if (high < 0 || low < 0) {
                Py_DECREF(result);
                PyErr_SetString(PyExc_ValueError, "invalid hex digit in bytea value");
                return nullptr;
            }
            out[i] = static_cast<char>((high << 4) | low);
        }
        return result;
    }
    // Legacy "escape" output format.
    std::string owned(text, length);
    size_t size = 0;
    PgMemPtr raw(PQunescapeBytea(reinterpret_cast<const unsigned char*>(owned.c_str()), &size));
    if (raw == nullptr) return PyErr_NoMemory();
    return PyBytes_FromStringAndSize(reinterpret_cast<char*>(raw.get()), static_cast<Py_ssize_t>(size));
}

using namespace type_oid;

CellDecoder scalar_decoder(Oid type) {
    switch (type) {
        case kBool: return decode_bool;
        case kInt2: case kInt4: case kInt8: case kOid: return decode_int;
        case kFloat4: case kFloat8: return decode_float;
        case kNumeric: return decode_numeric;
        case kBytea: return decode_bytea;
        case kJson: case kJsonb: return decode_json;
        case kDate: return decode_date;
        case kTime: return decode_time;
        case kTimetz: return decode_timetz;
        case kTimestamp: return decode_timestamp;
        case kTimestamptz: return decode_timestamptz;
        case kInterval: return decode_interval;
        case kUuid: return decode_uuid;
        default: return nullptr;
    }
}

// Array type OID -> element type OID, for the element types decoded above.
Oid array_element_type(Oid type) {
    switch (type) {
        case kBoolArray: return kBool;
        case kByteaArray: return kBytea;
        case kCharArray: return kChar;
        case kNameArray: return kName;
        case kInt2Array: return kInt2;
        case kInt4Array: return kInt4;
        case kTextArray: return kText;
        case kBpcharArray: return kBpchar;
        case kVarcharArray: return kVarchar;
        case kInt8Array: return kInt8;
        case kFloat4Array: return kFloat4;
        case kFloat8Array: return kFloat8;
        case kOidArray: return kOid;
        case kJsonArray: return kJson;
        case kJsonbArray: return kJsonb;
        case kNumericArray: return kNumeric;
        case kUuidArray: return kUuid;
        case kDateArray: return kDate;
        case kTimeArray: return kTime;
        case kTimetzArray: return kTimetz;
        case kTimestampArray: return kTimestamp;
        case kTimestamptzArray: return kTimestamptz;
        case kIntervalArray: return kInterval;
        default: return 0;
    }
}

}  // namespace

PyObject* decode_text(const char* text, size_t length) {
    return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(length), "replace");
}

ColumnDecoder decoder_for_type(Oid type) {
    if (Oid element = array_element_type(type); element != 0) {
        CellDecoder decoder = scalar_decoder(element);
        return ColumnDecoder{nullptr, decoder != nullptr ? decoder : decode_text};
    }
    CellDecoder decoder = scalar_decoder(type);
    return ColumnDecoder{decoder != nullptr ? decoder : decode_text, nullptr};
}

}  // namespace nelvor::driver
