#include "driver/connection.hpp"

#include "driver/binding_docs.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "driver/cursor.hpp"
#include "driver/errors.hpp"
#include "driver/execution/prepare_threshold.hpp"
#include "driver/execution/wait.hpp"
#include "driver/python_values.hpp"

namespace nelvor::driver {

namespace {

// None or a level name for default_transaction_isolation; accepts the DB-API
// numbers (0 autocommit, 1 read committed, 2 repeatable read, 3 serializable,
// 4 read uncommitted) and the level names.
std::optional<std::string> isolation_setting(nb::handle level) {
    if (level.is_none()) return std::nullopt;
    if (PyLong_Check(level.ptr()) && !PyBool_Check(level.ptr())) {
        switch (nb::cast<long>(level)) {
            case 0: return std::nullopt;
            case 1: return "read committed";
            case 2: return "repeatable read";
            case 3: return "serializable";
            case 4: return "read uncommitted";
            default: break;
        }
    } else if (nb::isinstance<nb::str>(level)) {
        std::string name = nb::cast<std::string>(level);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == "default") return std::nullopt;
        if (name == "read committed" || name == "repeatable read" || name == "serializable" ||
            name == "read uncommitted") {
            return name;
        }
    }
    throw nb::value_error("bad isolation level value");
}

// `dsn` a text or None; `kwargs` libpq's keywords plus the driver's own
// (prepare_threshold, autocommit). The classes' connections (`for_classes`)
// run in autocommit, PEP 249's connect() starts without it.
nb::object connect_from_python(nb::handle dsn, nb::kwargs kwargs, bool for_classes) {
    bool autocommit = for_classes;
    std::optional<std::string> conninfo;
    if (!dsn.is_none()) conninfo = nb::cast<std::string>(dsn);
    std::vector<std::pair<std::string, std::string>> keywords;
    bool threshold_given = false;
    std::optional<int> prepare_threshold;
    for (auto [key, value] : kwargs) {
        std::string name = nb::cast<std::string>(key);
        // The driver's own settings; libpq would refuse the keywords.
        if (name == "prepare_threshold") {
            prepare_threshold = prepare_threshold_from(value);
            threshold_given = true;
            continue;
        }
        if (name == "autocommit") {
            const bool on = is_true(value);
            // The classes' guarantee: a write outside begin() never waits for a COMMIT.
            if (for_classes && !on) {
                raise_error(ErrorKind::ProgrammingError,
                            "the connection classes run in autocommit: autocommit=False is refused");
            }
            autocommit = on;
            continue;
        }
        if (value.is_none()) continue;
        keywords.emplace_back(std::move(name), nb::cast<std::string>(nb::str(value)));
    }
    if (!threshold_given) prepare_threshold = default_prepare_threshold();
    const bool spin_wait = spin_wait_by_default();
    nb::object connection = Connection::connect(conninfo, keywords, prepare_threshold, autocommit);
    nb::cast<Connection&>(connection).set_spin_wait(spin_wait);
    return connection;
}

}  // namespace

Connection::Connection(PgConnPtr conn, CancelHandle cancel, std::optional<int> prepare_threshold, bool autocommit)
    : conn_(std::move(conn)),
      cancel_(std::move(cancel)),
      opened_by_(getpid()),
      prepared_(std::make_unique<PreparedCache>(prepare_threshold)),
      autocommit_(autocommit) {
    // Kept for `notices` instead of being printed on stderr by libpq.
    PQsetNoticeProcessor(conn_.get(), &NoticeBuffer::receive, notice_buffer_.get());
}

nb::object Connection::connect(std::optional<std::string> dsn,
                               const std::vector<std::pair<std::string, std::string>>& keywords,
                               std::optional<int> prepare_threshold, bool autocommit) {
    std::vector<const char*> keys;
    std::vector<const char*> values;
    if (dsn) {
        keys.push_back("dbname");
        values.push_back(dsn->c_str());
    }
    for (const auto& [key, value] : keywords) {
        keys.push_back(key == "database" ? "dbname" : key.c_str());
        values.push_back(value.c_str());
    }
    // Texts are exchanged as UTF-8 in both directions.
    keys.push_back("client_encoding");
    values.push_back("UTF8");
    keys.push_back(nullptr);
    values.push_back(nullptr);

    PgConnPtr conn;
    {
        nb::gil_scoped_release unlocked;
        conn = adopt_connection(PQconnectdbParams(keys.data(), values.data(), dsn ? 1 : 0));
    }
    if (!conn) raise_error(ErrorKind::OperationalError, "out of memory while connecting");
    if (PQstatus(conn.get()) != CONNECTION_OK) raise_connection_error(conn.get());
    CancelHandle cancel(PQgetCancel(conn.get()), PgCancelDeleter{});
    return nb::cast(Connection(std::move(conn), std::move(cancel), prepare_threshold, autocommit),
                    nb::rv_policy::move);
}

PGconn* Connection::live() const {
    if (!conn_) raise_error(ErrorKind::InterfaceError, "connection already closed");
    // Both processes would read and write one session and take each other's replies.
    if (getpid() != opened_by_) {
        raise_error(ErrorKind::InterfaceError,
                    "the connection was opened by process " + std::to_string(opened_by_) +
                        " and cannot be used from another process (after fork(), open a new connection)");
    }
    return conn_.get();
}

SessionHandles Connection::session() const {
    live();
    return SessionHandles{conn_, cancel_};
}

nb::object Connection::cursor() {
    live();
    return nb::cast(Cursor(nb::borrow(nb::find(this)), *this), nb::rv_policy::move);
}

nb::object Connection::run(std::string_view sql, nb::handle params, RowConsumer* consumer) {
    nb::object cursor_object = cursor();
    nb::cast<Cursor&>(cursor_object).execute(sql, params, consumer);
    return cursor_object;
}

void Connection::close() {
    // A statement running in another thread keeps its own reference; the
    // connection is finished when it returns.
    cancel_.reset();
    conn_.reset();
    // The server forgets prepared statements with the session.
    prepared_->forget_all();
    held_begin_.drop();
    transaction_failure_ = nb::none();
}

void Connection::statement_starts(PGconn* conn) {
    if (!transaction_failure_.is_none() && PQtransactionStatus(conn) != PQTRANS_INERROR)
        transaction_failure_ = nb::none();
}

namespace {

// The failure as a new exception of its class, with its message and
// attributes but no traceback: the original's traceback holds the caller's
// frames, and through them often this connection, which the collector cannot
// see through (a cycle would never be freed).
nb::object detached_copy(nb::handle failure) {
    nb::object copy = nb::steal(PyObject_Call(reinterpret_cast<PyObject*>(Py_TYPE(failure.ptr())),
                                              nb::getattr(failure, "args").ptr(), nullptr));
    if (!copy.is_valid()) {
        PyErr_Clear();  // a class that cannot be built again: the cause stays unknown
        return nb::none();
    }
    for (const char* name : {"sqlstate", "pgcode", "pgerror"}) {
        if (nb::hasattr(failure, name)) nb::setattr(copy, name, nb::getattr(failure, name));
    }
    return copy;
}

}  // namespace

void Connection::statement_failed(PGconn* conn, nb::handle failure) {
    // Only the first failure counts: later statements fail because of it.
    if (transaction_failure_.is_none() && PQtransactionStatus(conn) == PQTRANS_INERROR)
        transaction_failure_ = detached_copy(failure);
}

void Connection::cancel() {
    live();
    send_cancel(cancel_.get());
}

int Connection::server_version() const { return PQserverVersion(live()); }
int Connection::backend_pid() const { return PQbackendPID(live()); }
int Connection::fileno() const { return PQsocket(live()); }
std::string Connection::encoding() const { return pg_encoding_to_char(PQclientEncoding(live())); }

void Connection::set_isolation_level(nb::handle level) {
    live();
    const std::optional<std::string> setting = isolation_setting(level);
    const bool was_set = isolation_setting(isolation_level_).has_value();
    if (setting) {
        run_setting("SET default_transaction_isolation TO '" + *setting + "'");
    } else if (was_set) {
        run_setting("RESET default_transaction_isolation");
    }
    isolation_level_ = nb::borrow(level);
}

void bind_connection(nb::module_& module) {
    using namespace nb::literals;
    nb::class_<Connection>(module, "Connection", docs::connection_class)
        .def("cursor", &Connection::cursor, nb::sig(docs::cursor.signature), docs::cursor.text)
        .def("close", &Connection::close, nb::sig(docs::close.signature), docs::close.text)
        .def("cancel", &Connection::cancel, nb::sig(docs::cancel.signature), docs::cancel.text)
        .def("get_backend_pid", &Connection::backend_pid, nb::sig(docs::backend_pid.signature), docs::backend_pid.text)
        .def("fileno", &Connection::fileno, nb::sig(docs::fileno.signature), docs::fileno.text)
        .def_prop_ro("closed", &Connection::closed, nb::sig(docs::closed.signature), docs::closed.text)
        .def_prop_ro("server_version", &Connection::server_version, nb::sig(docs::server_version.signature), docs::server_version.text)
        .def_prop_ro("encoding", &Connection::encoding, nb::sig(docs::encoding.signature), docs::encoding.text)
        .def_prop_rw("isolation_level", &Connection::isolation_level,
                     [](Connection& self, nb::handle level) { self.set_isolation_level(level); },
                     nb::for_setter(nb::arg("level").none()), nb::for_getter(nb::sig(docs::isolation_level.signature)),
                     nb::for_getter(docs::isolation_level.text))
        .def_prop_ro("prepare_threshold", [](Connection& self) { return self.prepared().threshold(); },
                     nb::sig(docs::prepare_threshold.signature), docs::prepare_threshold.text)
        .def_prop_rw("stream_rows", &Connection::stream_rows, &Connection::set_stream_rows,
                     nb::for_getter(nb::sig(docs::stream_rows.signature)), nb::for_getter(docs::stream_rows.text))
        .def_prop_rw("spin_wait", &Connection::spin_wait, &Connection::set_spin_wait,
                     nb::for_getter(nb::sig(docs::spin_wait.signature)), nb::for_getter(docs::spin_wait.text))
        .def("commit", &Connection::commit, nb::sig(docs::commit.signature), docs::commit.text)
        .def("rollback", &Connection::rollback, nb::sig(docs::rollback.signature), docs::rollback.text)
        .def_prop_rw("autocommit", &Connection::autocommit, &Connection::set_autocommit,
                     nb::for_getter(nb::sig(docs::autocommit.signature)), nb::for_getter(docs::autocommit.text))
        .def_prop_ro("status", &Connection::status, nb::sig(docs::status.signature), docs::status.text)
        .def("get_transaction_status", &Connection::transaction_status, nb::sig(docs::transaction_status.signature), docs::transaction_status.text)
        .def_prop_ro("notices", &Connection::notices, nb::sig(docs::notices.signature), docs::notices.text)
        // psycopg2's meaning: the transaction ends with the block, the connection stays open.
        .def("__enter__", [](nb::handle self) {
            nb::cast<Connection&>(self).session();
            return nb::borrow(self);
        }, nb::sig(docs::connection_enter.signature), docs::connection_enter.text)
        .def("__exit__", [](Connection& self, nb::handle type, nb::handle, nb::handle) {
            if (type.is_none()) {
                self.commit();
            } else {
                self.rollback();
            }
            return false;
        }, nb::arg("type").none(), nb::arg("value").none(), nb::arg("traceback").none(),
           nb::sig(docs::connection_exit.signature), docs::connection_exit.text);
    // PEP 249's optional extension: the exception classes on the connection.
    nb::handle connection_class = nb::type<Connection>();
    for (const char* name : error_class_names()) connection_class.attr(name) = module.attr(name);

    module.def("connect", [](nb::handle dsn, nb::kwargs kwargs) { return connect_from_python(dsn, kwargs, false); },
               "dsn"_a.none() = nb::none(), "kwargs"_a, nb::sig(docs::connect.signature), docs::connect.text);
    // The connection classes' own: autocommit on from the start (they drive
    // transactions with statements and never change the setting).
    module.def("_connect_autocommit",
               [](nb::handle dsn, nb::kwargs kwargs) { return connect_from_python(dsn, kwargs, true); },
               "dsn"_a.none() = nb::none(), "kwargs"_a);
}

}  // namespace nelvor::driver
