#include "driver/execution/statement_run.hpp"

#include <chrono>
#include <cstring>
#include <functional>
#include <utility>

#include "driver/execution/bound_query.hpp"
#include "driver/execution/copied_insert.hpp"
#include "driver/execution/insert_shape.hpp"
#include "driver/errors.hpp"
#include "driver/types/literal.hpp"
#include "driver/execution/held_begin.hpp"
#include "driver/execution/prepared_cache.hpp"
#include "driver/execution/sql_lexer.hpp"
#include "driver/execution/stream_rows.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace {

// Opened around a PREPARE inside a transaction: a refused PREPARE would
// otherwise abort the caller's transaction.
const std::string kPrepareSavepoint = "_nelvor_prepare";

// The server no longer runs the prepared statement: its plan's result type
// changed (0A000, e.g. after ALTER TABLE) or the name is unknown (26000,
// e.g. after DISCARD ALL behind our back).
bool statement_dropped(const PGresult* error) {
    const char* state = PQresultErrorField(error, PG_DIAG_SQLSTATE);
    return state != nullptr && (std::strcmp(state, "0A000") == 0 || std::strcmp(state, "26000") == 0);
}

class Runner {
public:
    // `choice`: where a run of a query reports how it went (null: not a
    // query, or streaming is off); `stream`: its rows are built while they
    // arrive; `quick`: how a reply read whole is waited for (null: sleeping).
    // A BEGIN held in `begin` goes out with the statement.
    Runner(PGconn* conn, PGcancel* cancel, StreamChoice* choice, bool stream, QuickReplies* quick, uint64_t text_hash,
           RowConsumer* consumer, HeldBegin& begin)
        : conn_(conn), cancel_(cancel), choice_(choice), stream_(stream), quick_(quick), text_hash_(text_hash),
          consumer_(consumer), begin_(begin) {}

    StatementRun literal(std::string sql) {
        const char* text = sql.c_str();
        // After a held BEGIN the one statement goes through the extended
        // protocol (a pipeline takes no simple query); with no parameters it
        // means the same, and errors point into its own text.
        Executed executed =
            begin_.take()
                ? execute([text](PGconn* c) {
                      return send_after_begin(c, [text](PGconn* c2) {
                          return PQsendQueryParams(c2, text, 0, nullptr, nullptr, nullptr, nullptr, 0);
                      });
                  })
                : execute([text](PGconn* c) { return PQsendQuery(c, text); });
        StatementRun run = finish(std::move(executed));
        run.sent = std::move(sql);
        return run;
    }

    // A held BEGIN goes out alone: before rows read in single-row mode (a
    // pipeline reads its queries whole) or a text that is not one statement.
    void send_begin_alone() {
        if (begin_.take()) run_query(conn_, cancel_, "BEGIN");
    }

    // nullopt: the statement is to run with literals instead.
    std::optional<StatementRun> prepared(PreparedCache& cache, const BoundQuery& bound, bool may_retry) {
        const PGTransactionStatusType before = PQtransactionStatus(conn_);
        // In an aborted transaction the literal text fails just as well.
        if (before != PQTRANS_IDLE && before != PQTRANS_INTRANS) return std::nullopt;
        const std::string key = bound.key();
        std::string name;
        if (const std::string* known = cache.find(key)) {
            name = *known;
        } else {
            name = cache.new_name();
            if (!prepare(cache, name, bound, before == PQTRANS_INTRANS)) {
                cache.refuse(text_hash_);
                return std::nullopt;
            }
            cache.add(key, name);
        }
        const BoundValues::Arrays arrays = bound.values.arrays();
        const int count = static_cast<int>(arrays.values.size());
        const SendStatement send = [&](PGconn* c) {
            return PQsendQueryPrepared(c, name.c_str(), count, arrays.values.data(), arrays.lengths.data(),
                                       arrays.formats.data(), 0);
        };
        const bool carried = begin_.take();
        Executed executed =
            carried ? execute([&send](PGconn* c) { return send_after_begin(c, send); }) : execute(send);
        const PGresult* error = executed.results.error.get();
        // Rows a consumer already took cannot be taken back: no second attempt then.
        const bool untouched = executed.consumed.value_or(0) == 0;
        if (error && statement_dropped(error)) {
            cache.forget(key);
            // Outside a transaction the failed attempt changed nothing; after
            // a BEGIN it left the transaction aborted.
            if (may_retry && untouched && before == PQTRANS_IDLE && !carried) return prepared(cache, bound, false);
        }
        return finish(std::move(executed));
    }

    // A held BEGIN goes out first: COPY cannot travel in a pipeline.
    std::optional<PgResultPtr> copied_insert(std::string_view query, nb::handle params) {
        if (!PyTuple_Check(params.ptr()) && !PyList_Check(params.ptr())) return std::nullopt;
        const std::optional<InsertRows> insert = multi_row_insert(query, nb::len(params));
        if (!insert || insert->rows < kMinCopiedRows) return std::nullopt;
        send_begin_alone();
        return run_copied_insert(conn_, cancel_, *insert, params);
    }

    void deallocate_stale(PreparedCache& cache) {
        for (const std::string& name : cache.take_stale()) run_quietly(conn_, cancel_, "DEALLOCATE " + name);
    }

private:
    struct Executed {
        StatementResults results;
        std::optional<nb::list> rows;  // when streamed
        std::optional<int> consumed;   // when streamed into the consumer
    };

    Executed execute(const SendStatement& send) {
        if (!stream_) {
            const double spin = quick_ != nullptr ? quick_->spin_seconds(text_hash_) : 0;
            const auto started = std::chrono::steady_clock::now();
            StatementResults results = collect_results(conn_, cancel_, send, nullptr, spin);
            const std::chrono::duration<double> received = std::chrono::steady_clock::now() - started;
            if (choice_ != nullptr) choice_->record_whole(text_hash_, received.count());
            if (quick_ != nullptr) quick_->record(text_hash_, received.count());
            return {std::move(results), std::nullopt, std::nullopt};
        }
        StreamedRows rows(consumer_);
        StatementResults results = collect_results(conn_, cancel_, send, &rows);
        choice_->record(text_hash_, results.timing);
        std::optional<int> consumed;
        if (consumer_ != nullptr) consumed = rows.consumed();
        return {std::move(results), rows.rows(), consumed};
    }

    StatementRun finish(Executed executed) {
        StatementRun run;
        run.result = take_result(conn_, std::move(executed.results));
        run.rows = std::move(executed.rows);
        run.consumed = executed.consumed;
        return run;
    }

    bool prepare(PreparedCache& cache, const std::string& name, const BoundQuery& bound, bool in_transaction) {
        if (in_transaction && !run_quietly(conn_, cancel_, "SAVEPOINT " + kPrepareSavepoint)) return false;
        const std::vector<Oid>& types = bound.values.types();
        StatementResults results;
        try {
            results = collect_results(conn_, cancel_, [&](PGconn* c) {
                return PQsendPrepare(c, name.c_str(), bound.text.c_str(), static_cast<int>(types.size()),
                                     types.data());
            });
        } catch (...) {
            cache.mark_stale(name);  // interrupted: the server may hold it or not
            throw;
        }
        if (PQstatus(conn_) == CONNECTION_BAD) raise_connection_error(conn_);
        const bool prepared = !results.error;
        if (in_transaction) {
            if (!prepared) run_quietly(conn_, cancel_, "ROLLBACK TO SAVEPOINT " + kPrepareSavepoint);
            run_quietly(conn_, cancel_, "RELEASE SAVEPOINT " + kPrepareSavepoint);
        }
        return prepared;
    }

    PGconn* conn_;
    PGcancel* cancel_;
    StreamChoice* choice_;
    bool stream_;
    QuickReplies* quick_;
    uint64_t text_hash_;
    RowConsumer* consumer_;
    HeldBegin& begin_;
};

}  // namespace

StatementRun run_statement(Connection& connection, const SessionHandles& session, std::string_view query,
                           nb::handle params, RowConsumer* consumer) {
    PGconn* conn = session.conn.get();
    PreparedCache& cache = connection.prepared();
    const uint64_t text_hash = std::hash<std::string_view>{}(query);
    const StatementShape shape = connection.statement_shapes().of(query, text_hash);
    StreamChoice* choice = connection.stream_rows() && returns_rows(shape) ? &connection.stream_choice() : nullptr;
    const bool stream = choice != nullptr && choice->should_stream(text_hash);
    HeldBegin& begin = connection.held_begin();
    if (begin.hold(conn, query, params)) {
        StatementRun held;
        held.held_begin = true;
        held.sent = std::string(query);
        return held;
    }
    // Without autocommit the statement opens a transaction; should it fail
    // before it goes out (a value that cannot be rendered), no transaction was
    // opened and the session stays as it was.
    const bool opens = !connection.autocommit() && !begin.pending() && PQtransactionStatus(conn) == PQTRANS_IDLE;
    if (opens) begin.open_with_next();
    struct UnsentBegin {
        HeldBegin& begin;
        bool opened;
        ~UnsentBegin() {
            if (opened) begin.drop();
        }
    } unsent{begin, opens};
    QuickReplies* quick = connection.spin_wait() ? &connection.quick_replies() : nullptr;
    Runner runner(conn, session.cancel.get(), choice, stream, quick, text_hash, consumer, begin);
    // DEALLOCATE of a name the server has lost fails, which would abort a
    // transaction (a held BEGIN has not gone out yet).
    if (cache.has_stale() && PQtransactionStatus(conn) == PQTRANS_IDLE) runner.deallocate_stale(cache);
    if (stream || !shape.single) runner.send_begin_alone();

    if (!params.is_none() && shape.single && shape.keyword == "INSERT") {
        if (std::optional<PgResultPtr> copied = runner.copied_insert(query, params)) {
            StatementRun run;
            run.status = std::string("INSERT 0 ") + PQcmdTuples(copied->get());  // what the INSERT reports
            run.result = std::move(*copied);
            return run;
        }
    }

    const LiteralContext context = literal_context(conn);
    if (!params.is_none() && is_preparable(shape) && cache.count_execution(text_hash)) {
        if (std::optional<BoundQuery> bound = bind_query(context, query, params)) {
            if (std::optional<StatementRun> run = runner.prepared(cache, *bound, true)) return std::move(*run);
        }
    }
    std::string sql = params.is_none() ? std::string(query) : render_query(context, query, params);
    StatementRun run = runner.literal(std::move(sql));
    if (forgets_prepared(query, shape)) {
        cache.forget_all();
    } else if (changes_schema(shape)) {
        cache.retire_all();
    }
    return run;
}

}  // namespace nelvor::driver
