#include "driver/execution/placeholders.hpp"

namespace nelvor::driver {

size_t count_placeholders(std::string_view query) {
    size_t count = 0;
    for (size_t i = 0; i + 1 < query.size(); ++i) {
        if (query[i] != '%') continue;
        if (query[i + 1] == 's') ++count;
        ++i;
    }
    return count;
}

nb::tuple parameter_snapshot(nb::handle params) {
    PyObject* raw = params.ptr();
    if (PyUnicode_Check(raw) || PyBytes_Check(raw) || PyDict_Check(raw) || !PySequence_Check(raw)) {
        raise_error(ErrorKind::ProgrammingError, "query parameters must be a sequence (tuple or list), not '" +
                                                     std::string(Py_TYPE(raw)->tp_name) + "'");
    }
    nb::object items = nb::steal(PySequence_Tuple(raw));
    if (!items.is_valid()) throw nb::python_error();
    return nb::borrow<nb::tuple>(items);
}

void parameter_count_mismatch(std::string_view query, Py_ssize_t given) {
    raise_error(ErrorKind::ProgrammingError,
                "the query has " + std::to_string(count_placeholders(query)) + " placeholders but " +
                    std::to_string(given) + " parameters were given");
}

}  // namespace nelvor::driver
