#include "driver/execution/named_placeholders.hpp"

#include "driver/errors.hpp"

namespace nelvor::driver {

PositionalQuery positional_from_named(std::string_view query, nb::handle mapping) {
    PositionalQuery positional;
    positional.query.reserve(query.size());
    nb::list values;
    size_t position = 0;
    while (true) {
        const size_t percent = query.find('%', position);
        if (percent == std::string_view::npos) {
            positional.query.append(query.substr(position));
            break;
        }
        positional.query.append(query.substr(position, percent - position));
        const char format = percent + 1 < query.size() ? query[percent + 1] : '\0';
        if (format == '%') {
            positional.query.append("%%");
            position = percent + 2;
            continue;
        }
        if (format == 's') {
            raise_error(ErrorKind::ProgrammingError, "argument formats can't be mixed: %s among %(name)s placeholders");
        }
        const size_t close = format == '(' ? query.find(')', percent + 2) : std::string_view::npos;
        if (close == std::string_view::npos || close + 1 >= query.size() || query[close + 1] != 's') {
            raise_error(ErrorKind::ProgrammingError,
                        "incomplete placeholder: expected %(name)s at offset " + std::to_string(percent));
        }
        const std::string_view name = query.substr(percent + 2, close - percent - 2);
        nb::object key = nb::steal(PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), nullptr));
        if (!key.is_valid()) throw nb::python_error();
        nb::object value = nb::steal(PyObject_GetItem(mapping.ptr(), key.ptr()));
        if (!value.is_valid()) throw nb::python_error();
        values.append(value);
        positional.query.append("%s");
        position = close + 2;
    }
    positional.params = nb::tuple(values);
    return positional;
}

}  // namespace nelvor::driver
