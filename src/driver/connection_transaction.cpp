// Transaction control of a driver connection: PEP 249's commit, rollback and
// autocommit, and the state psycopg2 users read.
#include "driver/connection.hpp"
#include "driver/errors.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

bool Connection::in_transaction(PGconn* conn) const {
    return held_begin_.pending() || PQtransactionStatus(conn) != PQTRANS_IDLE;
}

void Connection::end_transaction(const char* statement) {
    SessionHandles session = this->session();
    StatementLock::Guard lock = lock_statements();
    // A BEGIN still held has not reached the server: its transaction is empty.
    if (held_begin_.take()) return;
    if (PQtransactionStatus(session.conn.get()) == PQTRANS_IDLE) return;
    run_query(session.conn.get(), session.cancel.get(), statement);
}

void Connection::commit() { end_transaction("COMMIT"); }

void Connection::rollback() { end_transaction("ROLLBACK"); }

void Connection::set_autocommit(bool on) {
    SessionHandles session = this->session();
    StatementLock::Guard lock = lock_statements();
    if (on != autocommit_ && in_transaction(session.conn.get())) {
        raise_error(ErrorKind::ProgrammingError,
                    "autocommit cannot be changed inside a transaction: commit or roll back first");
    }
    autocommit_ = on;
}

void Connection::run_setting(const std::string& sql) {
    SessionHandles session = this->session();
    StatementLock::Guard lock = lock_statements();
    // In the driver's own transaction a rollback would undo the setting.
    if (!autocommit_ && in_transaction(session.conn.get())) {
        raise_error(ErrorKind::ProgrammingError,
                    "the session cannot be changed inside a transaction: commit or roll back first");
    }
    // A BEGIN the caller sent goes out first, as it would with any statement.
    if (held_begin_.take()) run_query(session.conn.get(), session.cancel.get(), "BEGIN");
    run_query(session.conn.get(), session.cancel.get(), sql);
}

int Connection::status() const {
    return in_transaction(live()) ? kStatusBegin : kStatusReady;
}

int Connection::transaction_status() const {
    PGconn* conn = live();
    // A held BEGIN counts as sent: the session is in a transaction as far as the caller knows.
    if (held_begin_.pending()) return PQTRANS_INTRANS;
    return PQtransactionStatus(conn);
}

nb::list Connection::notices() {
    notice_buffer_->drain_into(notices_);
    return notices_;
}

}  // namespace nelvor::driver
