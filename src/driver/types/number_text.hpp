#pragma once
// How a Python int, float or Decimal reads in SQL, for literals and bound
// parameters alike.
#include <libpq-fe.h>
#include <Python.h>

#include <string>
#include <string_view>

namespace nelvor::driver {

struct NumberText {
    Oid type;          // int4, int8, numeric or float8
    std::string text;
    // NaN, the infinities and float -0 are no numeric constants: as literals
    // they are quoted and cast.
    bool quoted = false;
};

// int4 or int8, numeric beyond 64 bits.
NumberText int_number(PyObject* value);
// Finite floats are numeric constants; the others float8, and so is -0.0,
// which numeric cannot hold.
NumberText float_number(double number);
// A new float read from number text ("1.5", "-1e+300", "Infinity", "NaN"),
// rounded as Python's float() rounds it; null with the Python error set.
PyObject* float_from_text(const char* text, size_t length);
// The text Decimal itself writes (a subclass's __str__ is not asked), typed as
// its digits are as a constant (see number_constant_type).
NumberText decimal_number(PyObject* value);
bool is_decimal(PyObject* value);

// The text of a parameter that is a whole number in decimal digits (an
// optional minus first) gets the type PostgreSQL gives the same digits
// written as a constant: int4, int8 when beyond it, numeric beyond that.
// Other number texts ("1.5", "1E+5") are numeric constants.
Oid number_constant_type(std::string_view digits);

}  // namespace nelvor::driver
