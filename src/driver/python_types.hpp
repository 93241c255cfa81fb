#pragma once
// Python types the driver renders and builds, looked up once per extension
// module so the hot loops compare type pointers instead of importing.
#include <Python.h>

namespace nelvor::driver {

struct PythonTypes {
    PyObject* decimal = nullptr;  // decimal.Decimal
    PyObject* uuid = nullptr;     // uuid.UUID
    PyObject* column = nullptr;   // nelvor_pgstore.dbapi.Column, a description item
};

void load_python_types();
const PythonTypes& python_types();

// The datetime C API pointer is per translation unit; call before using any
// PyDateTime_* macro in a file.
#define NELVOR_ENSURE_DATETIME_API() \
    do {                             \
        if (PyDateTimeAPI == nullptr) PyDateTime_IMPORT; \
    } while (0)

}  // namespace nelvor::driver
