#include "connections/sql/argument_checks.hpp"

#include <string>

namespace nelvor::sql {

namespace {

[[noreturn]] void reject(nb::handle value, const char* argument, const char* expected) {
    throw nb::type_error((std::string("argument '") + argument + "' must be " + expected + ", not " +
                          nb::type_name(value.type()).c_str()).c_str());
}

bool is_mapping(nb::handle value) {
    static nb::handle mapping = nb::object(nb::module_::import_("collections.abc").attr("Mapping")).release();
    return PyDict_Check(value.ptr()) || PyObject_IsInstance(value.ptr(), mapping.ptr()) == 1;
}

}  // namespace

void require_text(nb::handle value, const char* argument) {
    if (!PyUnicode_Check(value.ptr())) reject(value, argument, "str");
}

void require_map(nb::handle value, const char* argument) {
    if (!is_mapping(value)) reject(value, argument, "a mapping");
}

void require_list(nb::handle value, const char* argument) {
    if (!PyList_Check(value.ptr())) reject(value, argument, "list");
}

}  // namespace nelvor::sql
