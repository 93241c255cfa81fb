#include "connections/sql/record_access.hpp"

namespace nelvor::sql {

nb::object value_or_none(nb::handle record, nb::handle key) {
    if (PyDict_CheckExact(record.ptr())) {
        PyObject* value = PyDict_GetItemWithError(record.ptr(), key.ptr());
        if (value == nullptr && PyErr_Occurred()) throw nb::python_error();
        return value != nullptr ? nb::borrow(value) : nb::none();
    }
    return record.attr("get")(key, nb::none());
}

SqlValueConverter::SqlValueConverter(nb::handle self) {
    static nb::handle name = PyUnicode_InternFromString("_to_sql_value");
    convert_ = self.attr(name);
}

nb::object SqlValueConverter::operator()(nb::handle value) const {
    PyObject* converted = PyObject_CallOneArg(convert_.ptr(), value.ptr());
    if (converted == nullptr) throw nb::python_error();
    return nb::steal(converted);
}

}  // namespace nelvor::sql
