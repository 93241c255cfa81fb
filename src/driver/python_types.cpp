#include "driver/python_types.hpp"

#include <nanobind/nanobind.h>

namespace nelvor::driver {

namespace nb = nanobind;

namespace {
PythonTypes g_types;  // one copy per extension module; kept for the module's life

PyObject* import_attribute(const char* module, const char* name) {
    nb::object value = nb::module_::import_(module).attr(name);
    return value.release().ptr();
}
}  // namespace

void load_python_types() {
    if (g_types.decimal != nullptr) return;
    g_types.decimal = import_attribute("decimal", "Decimal");
    g_types.uuid = import_attribute("uuid", "UUID");
    g_types.column = import_attribute("nelvor_pgstore.dbapi", "Column");
}

const PythonTypes& python_types() { return g_types; }

}  // namespace nelvor::driver
