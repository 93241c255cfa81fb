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

void append_new_keys(nb::handle record, nb::dict& seen, nb::list& keys) {
    for_each_key(record, [&](nb::handle key) {
        if (PyDict_SetDefault(seen.ptr(), key.ptr(), Py_None) == nullptr) throw nb::python_error();
        if (nb::len(seen) > nb::len(keys)) keys.append(key);
    });
}

}  // namespace nelvor::sql
