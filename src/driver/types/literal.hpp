#pragma once
// Client-side parameter rendering: every %s of a query is replaced by the SQL
// literal of the next parameter, so the server receives one plain text.
#include <libpq-fe.h>
#include <nanobind/nanobind.h>

#include <optional>
#include <string>
#include <string_view>

namespace nelvor::driver {

namespace nb = nanobind;

struct LiteralContext {
    bool standard_strings = true;  // standard_conforming_strings is on
};

LiteralContext literal_context(PGconn* conn);

// Raises ProgrammingError (DataError for texts holding NUL) before anything is
// sent when the query and the parameters do not fit together.
std::string render_query(const LiteralContext& context, std::string_view query, nb::handle params);

// Appends the literal of one value; throws nb::python_error on failure.
void append_literal(std::string& out, PyObject* value, const LiteralContext& context);

// Temporal values (datetime module); false when `value` is none of them.
bool append_temporal_literal(std::string& out, PyObject* value);

// A date, time, datetime or timedelta as the text of its PostgreSQL type.
struct TemporalValue {
    Oid type;
    const char* type_name;
    std::string text;
};
std::optional<TemporalValue> temporal_value(PyObject* value);

}  // namespace nelvor::driver
