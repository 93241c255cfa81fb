#include "driver/cursor.hpp"

#include "driver/binding_docs.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>

#include <algorithm>
#include <cstdlib>

#include "driver/collector_pause.hpp"
#include "driver/connection.hpp"
#include "driver/errors.hpp"
#include "driver/execution/client_encoding.hpp"
#include "driver/types/literal.hpp"
#include "driver/execution/named_placeholders.hpp"
#include "driver/execution/statement_run.hpp"
#include "driver/python_types.hpp"
#include "driver/types/type_oids.hpp"

namespace nelvor::driver {

namespace {

nb::object column_name(const PGresult* result, int column) {
    const char* name = PQfname(result, column);
    nb::object name_object = nb::steal(PyUnicode_DecodeUTF8(name, static_cast<Py_ssize_t>(std::strlen(name)), "replace"));
    if (!name_object.is_valid()) throw nb::python_error();
    return name_object;
}

// psycopg2's description item: a named tuple of seven, built without running
// Python code (tuple's own constructor on the named tuple class).
nb::object column_description(const PGresult* result, int column) {
    const Oid type = PQftype(result, column);
    const int size = PQfsize(result, column);
    const int modifier = PQfmod(result, column);
    nb::object precision = nb::none(), scale = nb::none();
    if (type == type_oid::kNumeric && modifier >= 4) {
        precision = nb::int_(((modifier - 4) >> 16) & 0xFFFF);
        scale = nb::int_((modifier - 4) & 0xFFFF);
    }
    nb::object internal_size = size >= 0 ? nb::object(nb::int_(size)) : nb::none();
    nb::tuple items = nb::make_tuple(column_name(result, column), static_cast<unsigned long>(type), nb::none(),
                                     internal_size, precision, scale, nb::none());
    nb::tuple args = nb::make_tuple(items);
    PyTypeObject* column_type = reinterpret_cast<PyTypeObject*>(python_types().column);
    nb::object described = nb::steal(PyTuple_Type.tp_new(column_type, args.ptr(), nullptr));
    if (!described.is_valid()) throw nb::python_error();
    return described;
}

}  // namespace

nb::tuple column_names(const PGresult* result) {
    const int columns = PQnfields(result);
    nb::object names = nb::steal(PyTuple_New(columns));
    if (!names.is_valid()) throw nb::python_error();
    for (int column = 0; column < columns; ++column)
        PyTuple_SET_ITEM(names.ptr(), column, column_name(result, column).release().ptr());
    return nb::borrow<nb::tuple>(names);
}

Cursor::Cursor(nb::object connection_object, Connection& connection)
    : connection_object_(std::move(connection_object)), connection_(&connection) {}

void Cursor::require_open() const {
    if (closed_) raise_error(ErrorKind::InterfaceError, "cursor already closed");
}

void Cursor::require_rows() const {
    require_open();
    if (!result_) raise_error(ErrorKind::ProgrammingError, "no results to fetch");
}

void Cursor::reset_result() {
    result_.reset();
    built_rows_.reset();
    decoders_.clear();
    row_total_ = 0;
    next_row_ = 0;
    description_ = nb::none();
    rowcount_ = -1;
    statusmessage_.reset();
    unrendered_.reset();
}

void Cursor::adopt_result(PgResultPtr result) {
    const PGresult* raw = result.get();
    statusmessage_ = PQcmdStatus(result.get());
    if (PQresultStatus(raw) != PGRES_TUPLES_OK) {
        const char* affected = PQcmdTuples(result.get());
        rowcount_ = (affected != nullptr && *affected != '\0') ? std::strtoll(affected, nullptr, 10) : -1;
        return;
    }
    const int columns = PQnfields(raw);
    nb::object description = nb::steal(PyTuple_New(columns));
    if (!description.is_valid()) throw nb::python_error();
    for (int column = 0; column < columns; ++column) {
        PyTuple_SET_ITEM(description.ptr(), column, column_description(raw, column).release().ptr());
    }
    decoders_ = column_decoders(raw);
    description_ = std::move(description);
    row_total_ = PQntuples(raw);
    rowcount_ = row_total_;
    result_ = std::move(result);
}

void Cursor::adopt_run(StatementRun run) {
    if (run.held_begin) {
        statusmessage_ = "BEGIN";  // what the server reports for it
        return;
    }
    const bool built = run.rows.has_value() && PQntuples(run.result.get()) == 0;
    adopt_result(std::move(run.result));
    if (run.status) statusmessage_ = std::move(run.status);
    if (built && result_) {
        row_total_ = run.consumed.value_or(static_cast<int>(PyList_GET_SIZE(run.rows->ptr())));
        rowcount_ = row_total_;
        built_rows_ = std::move(run.rows);
        // Rows a consumer took are not the cursor's to give again.
        if (run.consumed) next_row_ = row_total_;
    }
}

void Cursor::feed(RowConsumer& consumer) {
    if (!result_) return;
    CollectorPause pause;  // the consumer builds its own records from the rows
    consumer.columns(column_names(result_.get()));
    for (nb::handle row : take_rows(row_total_)) consumer.row(row);
}

StatementRun Cursor::run_watched(const SessionHandles& session, std::string_view query, nb::handle params,
                                 RowConsumer* consumer) {
    PGconn* conn = session.conn.get();
    connection_->statement_starts(conn);
    try {
        StatementRun run = run_statement(*connection_, session, query, params, consumer);
        if (client_encoding_changed(conn)) refuse_client_encoding(conn, session.cancel.get(), nb::handle());
        return run;
    } catch (nb::python_error& error) {
        connection_->statement_failed(conn, error.value());
        // Rows read in another encoding fail to decode: the cause is the change.
        if (client_encoding_changed(conn)) refuse_client_encoding(conn, session.cancel.get(), error.value());
        throw;
    }
}

void Cursor::execute(std::string_view query, nb::handle params, RowConsumer* consumer) {
    if (!params.is_none() && is_mapping(params)) {
        PositionalQuery positional = positional_from_named(query, params);
        execute(positional.query, positional.params, consumer);
        return;
    }
    require_open();
    // libpq takes the text up to the first NUL: never send a cut statement.
    if (query.find('\0') != std::string_view::npos) {
        raise_error(ErrorKind::DataError, "A query cannot contain NUL (0x00) characters.");
    }
    SessionHandles session = connection_->session();
    reset_result();
    // Another thread may be inside libpq on the shared connection until the
    // lock is ours, reading its settings included.
    StatementLock::Guard lock = connection_->lock_statements();
    // Rendered only when asked for: a prepared statement is sent without it.
    if (params.is_none()) {
        query_ = std::string(query);
    } else {
        query_.reset();
        unrendered_ = Unrendered{std::string(query), nb::borrow(params), literal_context(session.conn.get())};
    }
    StatementRun run = run_watched(session, query, params, consumer);
    if (run.sent) {
        query_ = std::move(*run.sent);
        unrendered_.reset();
    }
    const bool consumed = run.consumed.has_value();
    adopt_run(std::move(run));
    // Rows read whole reach the consumer now, in the same order.
    if (consumer != nullptr && !consumed) feed(*consumer);
}

void Cursor::executemany(std::string_view query, nb::handle params_sequence) {
    Py_ssize_t total = 0;
    bool known = true;
    for (nb::handle params : params_sequence) {
        execute(query, params);
        if (rowcount_ < 0) known = false;
        total += rowcount_;
    }
    // As psycopg2: the total row count, the status of the last statement.
    std::optional<std::string> status = std::move(statusmessage_);
    reset_result();
    rowcount_ = known ? total : -1;
    statusmessage_ = std::move(status);
}

nb::list Cursor::take_rows(int end) {
    const int first = next_row_;
    next_row_ = std::max(first, end);
    if (!built_rows_) return build_rows(result_.get(), first, end, decoders_);
    if (first == 0 && end == row_total_) {
        // The whole list goes to the caller; the cursor has nothing left to give.
        nb::list rows = std::move(*built_rows_);
        built_rows_ = nb::steal<nb::list>(PyList_New(0));
        return rows;
    }
    nb::object slice = nb::steal(PyList_GetSlice(built_rows_->ptr(), first, std::max(first, end)));
    if (!slice.is_valid()) throw nb::python_error();
    return nb::borrow<nb::list>(slice);
}

nb::object Cursor::fetchone() {
    require_rows();
    if (next_row_ >= row_total_) return nb::none();
    if (built_rows_) return nb::borrow(PyList_GET_ITEM(built_rows_->ptr(), next_row_++));
    return build_row(result_.get(), next_row_++, decoders_);
}

nb::list Cursor::fetchmany(std::optional<Py_ssize_t> size) {
    require_rows();
    const Py_ssize_t wanted = std::max<Py_ssize_t>(0, size.value_or(arraysize_));
    // Compared with what remains, not added to the position: a size near
    // the largest index must not wrap around.
    const Py_ssize_t remaining = row_total_ - next_row_;
    return take_rows(next_row_ + static_cast<int>(std::min(remaining, wanted)));
}

nb::list Cursor::fetchall() {
    require_rows();
    return take_rows(row_total_);
}

nb::object Cursor::next() {
    nb::object row = fetchone();
    if (row.is_none()) throw nb::stop_iteration();
    return row;
}

void Cursor::close() {
    closed_ = true;
    reset_result();
}

nb::object Cursor::query() {
    if (unrendered_) {
        query_ = render_query(unrendered_->context, unrendered_->query, unrendered_->params);
        unrendered_.reset();
    }
    if (!query_) return nb::none();
    return nb::bytes(query_->data(), query_->size());
}

nb::object Cursor::statusmessage() const {
    if (!statusmessage_) return nb::none();
    return nb::str(statusmessage_->c_str());
}

void bind_cursor(nb::module_& module) {
    using namespace nb::literals;
    nb::class_<Cursor>(module, "Cursor", docs::cursor_class)
        .def("execute", [](Cursor& self, std::string_view query, nb::handle params) { self.execute(query, params); },
             "query"_a, "params"_a.none() = nb::none(), nb::sig(docs::execute.signature), docs::execute.text)
        .def("executemany", &Cursor::executemany, "query"_a, "params_seq"_a, nb::sig(docs::executemany.signature), docs::executemany.text)
        .def("fetchone", &Cursor::fetchone, nb::sig(docs::fetchone.signature), docs::fetchone.text)
        .def("fetchmany", &Cursor::fetchmany, "size"_a.none() = nb::none(), nb::sig(docs::fetchmany.signature), docs::fetchmany.text)
        .def("fetchall", &Cursor::fetchall, nb::sig(docs::fetchall.signature), docs::fetchall.text)
        .def("close", &Cursor::close, nb::sig(docs::cursor_close.signature), docs::cursor_close.text)
        .def("__iter__", [](nb::handle self) { return nb::borrow(self); }, nb::sig(docs::iter.signature), docs::iter.text)
        .def("__next__", &Cursor::next, nb::sig(docs::next.signature), docs::next.text)
        .def("__enter__", [](nb::handle self) { return nb::borrow(self); }, nb::sig(docs::enter.signature), docs::enter.text)
        .def("__exit__", [](Cursor& self, nb::args) { self.close(); }, nb::sig(docs::exit.signature), docs::exit.text)
        .def_prop_ro("closed", &Cursor::closed, nb::sig(docs::cursor_closed.signature), docs::cursor_closed.text)
        .def_prop_ro("connection", &Cursor::connection, nb::sig(docs::cursor_connection.signature), docs::cursor_connection.text)
        .def_prop_ro("description", &Cursor::description, nb::sig(docs::description.signature), docs::description.text)
        .def_prop_ro("rowcount", &Cursor::rowcount, nb::sig(docs::rowcount.signature), docs::rowcount.text)
        .def_prop_ro("rownumber", &Cursor::rownumber, nb::sig(docs::rownumber.signature), docs::rownumber.text)
        .def_prop_rw("arraysize", &Cursor::arraysize, &Cursor::set_arraysize,
                     nb::for_getter(nb::sig(docs::arraysize.signature)), nb::for_getter(docs::arraysize.text))
        .def_prop_ro("query", &Cursor::query, nb::sig(docs::query.signature), docs::query.text)
        .def_prop_ro("statusmessage", &Cursor::statusmessage, nb::sig(docs::statusmessage.signature), docs::statusmessage.text)
        .def("mogrify", &Cursor::mogrify, "query"_a, "params"_a.none() = nb::none(), nb::sig(docs::mogrify.signature), docs::mogrify.text)
        .def("callproc", &Cursor::callproc, "procname"_a, "params"_a.none() = nb::none(), nb::sig(docs::callproc.signature), docs::callproc.text)
        .def("nextset", &Cursor::nextset, nb::sig(docs::nextset.signature), docs::nextset.text)
        .def("copy_expert", &Cursor::copy_expert, "sql"_a, "file"_a, "size"_a = 8192, nb::sig(docs::copy_expert.signature),
             docs::copy_expert.text)
        // Sizes mean nothing to a driver that sends and reads whole values.
        .def("setinputsizes", [](Cursor&, nb::handle) {}, "sizes"_a.none(), nb::sig(docs::setinputsizes.signature), docs::setinputsizes.text)
        .def("setoutputsize", [](Cursor&, nb::handle, nb::handle) {}, "size"_a.none(), "column"_a.none() = nb::none(),
             nb::sig(docs::setoutputsize.signature), docs::setoutputsize.text);
}

}  // namespace nelvor::driver
