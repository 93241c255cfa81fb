#pragma once
// Text-format result values to Python objects, chosen per column type OID.
#include <Python.h>
#include <libpq-fe.h>

#include <cstddef>

namespace nelvor::driver {

// Returns a new reference, or nullptr with a Python error set.
using CellDecoder = PyObject* (*)(const char* text, size_t length);

struct ColumnDecoder {
    CellDecoder scalar = nullptr;   // used when `element` is null
    CellDecoder element = nullptr;  // set for array columns: decoder of one element
};

ColumnDecoder decoder_for_type(Oid type);

inline PyObject* decode_cell(const ColumnDecoder& decoder, const char* text, size_t length);

// Array literal ("{1,2,NULL}", nested, optional "[lo:hi]=" prefix) to a list.
PyObject* decode_array(const char* text, size_t length, CellDecoder element);

PyObject* decode_text(const char* text, size_t length);
PyObject* decode_date(const char* text, size_t length);
PyObject* decode_time(const char* text, size_t length);
PyObject* decode_timetz(const char* text, size_t length);
PyObject* decode_timestamp(const char* text, size_t length);
PyObject* decode_timestamptz(const char* text, size_t length);
PyObject* decode_interval(const char* text, size_t length);

inline PyObject* decode_cell(const ColumnDecoder& decoder, const char* text, size_t length) {
    return decoder.element != nullptr ? decode_array(text, length, decoder.element) : decoder.scalar(text, length);
}

}  // namespace nelvor::driver
