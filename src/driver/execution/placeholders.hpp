#pragma once
// Reading a query text written with the driver's placeholders: "%s" stands for
// the next parameter, "%%" for one percent sign. Rendering literals and binding
// parameters both read the text through here, so both refuse the same texts
// with the same errors.
#include <nanobind/nanobind.h>

#include <string>
#include <string_view>

#include "driver/errors.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

// Calls on_text(piece) for the text between placeholders ("%%" arrives as
// "%") and on_placeholder() for each "%s", in order. Raises ProgrammingError
// for a "%" at the end or any other format character.
template <class OnText, class OnPlaceholder>
void scan_placeholders(std::string_view query, OnText&& on_text, OnPlaceholder&& on_placeholder) {
    size_t position = 0;
    while (true) {
        const size_t percent = query.find('%', position);
        if (percent == std::string_view::npos) {
            on_text(query.substr(position));
            return;
        }
        on_text(query.substr(position, percent - position));
        if (percent + 1 >= query.size()) {
            raise_error(ErrorKind::ProgrammingError, "incomplete placeholder: '%' at the end of the query");
        }
        const char format = query[percent + 1];
        if (format == '%') {
            on_text(std::string_view("%"));
        } else if (format == 's') {
            on_placeholder();
        } else {
            raise_error(ErrorKind::ProgrammingError,
                        std::string("unsupported format character '") + format + "' in the query");
        }
        position = percent + 2;
    }
}

size_t count_placeholders(std::string_view query);

// The parameters as a tuple snapshot: converting a value may run Python code
// that could otherwise change a list under the loop. Raises ProgrammingError
// for a text, a mapping or anything that is not a sequence.
nb::tuple parameter_snapshot(nb::handle params);

[[noreturn]] void parameter_count_mismatch(std::string_view query, Py_ssize_t given);

}  // namespace nelvor::driver
