#include "connections/sql/json_column_text.hpp"

#include "driver/types/json_encode.hpp"

#include <string>

namespace nelvor::sql {

nb::object json_column_text(nb::handle value, nb::handle data_type) {
    if (!PyDict_CheckExact(value.ptr()) && !PyList_CheckExact(value.ptr())) return nb::object();
    if (!PyUnicode_Check(data_type.ptr()) || PyUnicode_CompareWithASCIIString(data_type.ptr(), "json") != 0)
        return nb::object();
    std::string text;
    try {
        text = driver::to_json_text(value, true);
    } catch (nb::python_error&) {
        return nb::object();  // the framework's conversion decides, and reports, as before
    } catch (nb::builtin_exception&) {
        return nb::object();
    }
    return nb::str(text.c_str(), text.size());
}

}  // namespace nelvor::sql
