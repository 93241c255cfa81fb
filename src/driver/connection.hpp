#pragma once
// One libpq connection, bound to Python as `Connection`. With autocommit on,
// statements run in libpq's natural autocommit mode and transactions are
// driven by BEGIN/COMMIT statements sent by the caller; with it off (PEP 249's
// default for connect()), the first statement on an idle session opens a
// transaction that commit() or rollback() ends.
#include <nanobind/nanobind.h>

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/execution/held_begin.hpp"
#include "driver/handles.hpp"
#include "driver/notices.hpp"
#include "driver/execution/prepared_cache.hpp"
#include "driver/execution/quick_replies.hpp"
#include "driver/row_consumer.hpp"
#include "driver/execution/statement_shapes.hpp"
#include "driver/execution/stream_choice.hpp"
#include "driver/statement_lock.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

using CancelHandle = std::shared_ptr<PGcancel>;

// What one statement needs while the GIL is released: strong references, so
// close() from another thread cannot free them underneath.
struct SessionHandles {
    PgConnPtr conn;
    CancelHandle cancel;
};

class Connection {
public:
    Connection(PgConnPtr conn, CancelHandle cancel, std::optional<int> prepare_threshold, bool autocommit);

    // `dsn` (conninfo or URI) is expanded first; the keywords come after it
    // and therefore win. The key "database" means libpq's "dbname".
    static nb::object connect(std::optional<std::string> dsn,
                              const std::vector<std::pair<std::string, std::string>>& keywords,
                              std::optional<int> prepare_threshold, bool autocommit);

    // A new Cursor that has run `sql` with `params` (None: no rendering); its
    // rows go to `consumer` when there is one (see Cursor::execute).
    nb::object run(std::string_view sql, nb::handle params, RowConsumer* consumer = nullptr);
    nb::object cursor();

    void close();
    // Also once libpq has found the session ended (the server went away).
    bool closed() const { return !conn_ || PQstatus(conn_.get()) == CONNECTION_BAD; }
    // Raises InterfaceError when the connection is closed or was opened by
    // another process (a forked child shares the parent's socket).
    SessionHandles session() const;
    // The lock that serialises statements of threads sharing this
    // connection (see StatementLock): refuses re-entry from this thread and
    // waits for another thread's statement answering signals.
    StatementLock::Guard lock_statements() { return statement_lock_->acquire(); }
    // Used under the statement lock only.
    PreparedCache& prepared() { return *prepared_; }
    StreamChoice& stream_choice() { return *stream_choice_; }
    HeldBegin& held_begin() { return held_begin_; }
    StatementShapes& statement_shapes() { return *statement_shapes_; }
    // Query rows may be built while they arrive (on by default, chosen per
    // text by StreamChoice; off: always after the whole result is in).
    bool stream_rows() const { return stream_rows_; }
    void set_stream_rows(bool on) { stream_rows_ = on; }
    QuickReplies& quick_replies() { return *quick_replies_; }
    // Short replies may be waited for by reading before sleeping (on by
    // default, chosen per text by QuickReplies; off: always sleeping at once).
    bool spin_wait() const { return spin_wait_; }
    void set_spin_wait(bool on) { spin_wait_ = on; }

    // The failure that aborted the session's transaction, None when none is
    // known. Kept until the next statement starts, so that a COMMIT the server
    // answered with ROLLBACK can name its cause.
    nb::object transaction_failure() const { return transaction_failure_; }
    // Around each statement of a cursor: forgets the failure of a transaction
    // that is no longer aborted, and remembers the one that aborts it.
    void statement_starts(PGconn* conn);
    void statement_failed(PGconn* conn, nb::handle failure);

    void cancel();
    int server_version() const;
    int backend_pid() const;
    int fileno() const;
    std::string encoding() const;
    nb::object isolation_level() const { return isolation_level_; }
    void set_isolation_level(nb::handle level);

    // Transaction control (connection_transaction.cpp).
    bool autocommit() const { return autocommit_; }
    void set_autocommit(bool on);
    void commit();
    void rollback();
    // psycopg2's connection status: kStatusReady or kStatusBegin.
    int status() const;
    int transaction_status() const;
    // Messages such as RAISE NOTICE, oldest first, the last 50 kept.
    nb::list notices();

    static constexpr int kStatusReady = 1;
    static constexpr int kStatusBegin = 2;

private:
    PGconn* live() const;
    // A transaction is open or held to open with the next statement.
    bool in_transaction(PGconn* conn) const;
    // COMMIT or ROLLBACK, when there is anything to end.
    void end_transaction(const char* statement);
    // A session setting: refused inside a transaction of the driver's own.
    void run_setting(const std::string& sql);

    PgConnPtr conn_;
    CancelHandle cancel_;
    nb::object isolation_level_ = nb::none();
    nb::object transaction_failure_ = nb::none();
    pid_t opened_by_ = 0;
    std::unique_ptr<StatementLock> statement_lock_ = std::make_unique<StatementLock>();
    std::unique_ptr<PreparedCache> prepared_;
    std::unique_ptr<StreamChoice> stream_choice_ = std::make_unique<StreamChoice>();
    std::unique_ptr<QuickReplies> quick_replies_ = std::make_unique<QuickReplies>();
    std::unique_ptr<StatementShapes> statement_shapes_ = std::make_unique<StatementShapes>();
    std::unique_ptr<NoticeBuffer> notice_buffer_ = std::make_unique<NoticeBuffer>();
    nb::list notices_;
    HeldBegin held_begin_;
    bool autocommit_;
    bool stream_rows_ = true;
    bool spin_wait_ = true;
};

void bind_connection(nb::module_& module);

}  // namespace nelvor::driver
