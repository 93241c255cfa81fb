// The cursor's calls beyond execute and fetch: psycopg2's mogrify and
// callproc, PEP 249's nextset.
#include <nanobind/stl/string_view.h>

#include <string>

#include "driver/connection.hpp"
#include "driver/cursor.hpp"
#include "driver/errors.hpp"
#include "driver/execution/named_placeholders.hpp"
#include "driver/types/literal.hpp"

namespace nelvor::driver {

namespace {

std::string quoted_identifier(PGconn* conn, nb::handle name) {
    const std::string text = nb::cast<std::string>(nb::str(name));
    PgMemPtr quoted(reinterpret_cast<unsigned char*>(PQescapeIdentifier(conn, text.data(), text.size())));
    if (!quoted) raise_error(ErrorKind::ProgrammingError, PQerrorMessage(conn));
    return reinterpret_cast<const char*>(quoted.get());
}

}  // namespace

nb::bytes Cursor::mogrify(std::string_view query, nb::handle params) {
    require_open();
    SessionHandles session = connection_->session();
    if (params.is_none()) return nb::bytes(query.data(), query.size());
    if (is_mapping(params)) {
        PositionalQuery positional = positional_from_named(query, params);
        return mogrify(positional.query, positional.params);
    }
    const std::string rendered = render_query(literal_context(session.conn.get()), query, params);
    return nb::bytes(rendered.data(), rendered.size());
}

// SELECT * FROM procname(...): positional parameters, or a mapping's as
// named arguments. `procname` is SQL text (it may be schema-qualified), as
// in psycopg2. Returns the parameters unchanged: PostgreSQL functions return
// their OUT values as the result row.
nb::object Cursor::callproc(std::string_view procname, nb::handle params) {
    require_open();
    std::string sql = "SELECT * FROM ";
    sql.append(procname);
    sql.push_back('(');
    nb::object values = nb::none();
    if (!params.is_none() && is_mapping(params)) {
        PGconn* conn = connection_->session().conn.get();
        nb::list ordered;
        bool first = true;
        for (nb::handle key : params) {
            if (!first) sql.append(", ");
            first = false;
            sql.append(quoted_identifier(conn, key)).append(" => %s");
            nb::object value = nb::steal(PyObject_GetItem(params.ptr(), key.ptr()));
            if (!value.is_valid()) throw nb::python_error();
            ordered.append(value);
        }
        values = nb::tuple(ordered);
    } else if (!params.is_none()) {
        values = nb::tuple(params);
        for (size_t i = 0; i < nb::len(values); ++i) sql.append(i == 0 ? "%s" : ", %s");
    }
    sql.push_back(')');
    execute(sql, values.is_none() ? nb::handle(nb::tuple()) : nb::handle(values));
    return params.is_none() ? nb::none() : nb::borrow(params);
}

// The driver keeps the last result of a statement text: there is no further set.
nb::object Cursor::nextset() {
    require_open();
    if (!statusmessage_) raise_error(ErrorKind::ProgrammingError, "no statement executed yet");
    return nb::none();
}

}  // namespace nelvor::driver
