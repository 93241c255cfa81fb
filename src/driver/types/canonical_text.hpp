#pragma once
// The text of a Decimal or a UUID as the base type writes it. A subclass may
// override __str__ with any text; what reaches a statement must be the value.
#include <Python.h>

#include <string>

namespace nelvor::driver {

// decimal.Decimal.__str__ of the value: digits, sign, point and exponent, or
// NaN/Infinity.
std::string decimal_text(PyObject* value);

// uuid.UUID.__str__ of the value, checked to be 8-4-4-4-12 hex digits
// (a subclass can still change the fields it is computed from).
std::string uuid_text(PyObject* value);

}  // namespace nelvor::driver
