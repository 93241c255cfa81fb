// COPY through a cursor: psycopg2's copy_expert(sql, file, size) and the
// C++ entry point for any other data source.
#include <nanobind/stl/string_view.h>

#include <string>

#include "driver/connection.hpp"
#include "driver/cursor.hpp"
#include "driver/errors.hpp"
#include "driver/python_values.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace {

// A Python file: read(size) for COPY FROM STDIN (bytes or text, sent as
// UTF-8), write() for COPY TO STDOUT (text for a text file, bytes otherwise).
class PythonFile : public CopyEndpoint {
public:
    PythonFile(nb::handle file, Py_ssize_t size) : file_(nb::borrow(file)), size_(size) {}

    std::string_view read() override {
        piece_ = file_.attr("read")(size_);
        if (PyUnicode_Check(piece_.ptr())) {
            Py_ssize_t length = 0;
            const char* data = PyUnicode_AsUTF8AndSize(piece_.ptr(), &length);
            if (data == nullptr) throw nb::python_error();
            return {data, static_cast<size_t>(length)};
        }
        if (!PyBytes_Check(piece_.ptr())) piece_ = nb::steal(PyBytes_FromObject(piece_.ptr()));
        if (!piece_.is_valid()) throw nb::python_error();
        return {PyBytes_AS_STRING(piece_.ptr()), static_cast<size_t>(PyBytes_GET_SIZE(piece_.ptr()))};
    }

    void write(std::string_view data) override {
        if (!text_) text_ = is_text_file();
        nb::object piece = nb::steal(
            *text_ ? PyUnicode_DecodeUTF8(data.data(), static_cast<Py_ssize_t>(data.size()), "strict")
                   : PyBytes_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
        if (!piece.is_valid()) throw nb::python_error();
        file_.attr("write")(piece);
    }

private:
    bool is_text_file() const {
        nb::handle text_base = nb::module_::import_("io").attr("TextIOBase");
        return is_instance(file_, text_base);
    }

    nb::object file_;
    Py_ssize_t size_;
    nb::object piece_;
    std::optional<bool> text_;
};

}  // namespace

void Cursor::copy(const std::string& sql, CopyEndpoint& endpoint) {
    require_open();
    if (sql.find('\0') != std::string::npos) {
        raise_error(ErrorKind::DataError, "A query cannot contain NUL (0x00) characters.");
    }
    SessionHandles session = connection_->session();
    reset_result();
    query_ = sql;
    StatementLock::Guard lock = connection_->lock_statements();
    PGconn* conn = session.conn.get();
    // The copy belongs to the transaction a held BEGIN (or, without
    // autocommit, the first statement) opens; it goes out alone first.
    const bool idle = PQtransactionStatus(conn) == PQTRANS_IDLE;
    if (connection_->held_begin().take() || (!connection_->autocommit() && idle)) {
        run_query(conn, session.cancel.get(), "BEGIN");
    }
    adopt_result(run_copy(conn, session.cancel.get(), sql, endpoint));
}

void Cursor::copy_expert(const std::string& sql, nb::handle file, Py_ssize_t size) {
    PythonFile endpoint(file, size);
    copy(sql, endpoint);
}

}  // namespace nelvor::driver
