#include "driver/execution/wait.hpp"

#include <nanobind/nanobind.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "driver/collector_pause.hpp"
#include "driver/errors.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

namespace {

// Signal handlers run between slices, so Ctrl-C answers within this time.
constexpr int kSliceMilliseconds = 100;
// Rows handed to a sink at once at most; more wait for the next turn.
constexpr size_t kMaxRowBatch = 8192;
// While the server is still sending, rows are gathered up to this many (or
// until no more came for kGatherMilliseconds) before the GIL is taken to
// build them: one turn per handful of rows would cost more than the rows.
constexpr size_t kMinRowBatch = 256;
constexpr int kGatherMilliseconds = 1;

enum class Progress { Ready, SliceOver, Broken };

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// poll() that adds the time it blocked to `polled`: the time this process
// spent waiting for the server rather than reading what it had sent.
int timed_poll(pollfd& socket, int timeout_milliseconds, double& polled) {
    const Clock::time_point start = Clock::now();
    const int ready = poll(&socket, 1, timeout_milliseconds);
    polled += seconds_since(start);
    return ready;
}

// Called without the GIL: reads whatever input arrives, without sleeping,
// until a result is complete or `spin_until` has passed.
Progress spin_until_not_busy(PGconn* conn, Clock::time_point spin_until, double& polled) {
    const Clock::time_point start = Clock::now();
    Progress progress = Progress::Ready;
    while (PQisBusy(conn) && Clock::now() < spin_until) {
        if (PQconsumeInput(conn) == 0) {
            progress = Progress::Broken;
            break;
        }
    }
    polled += seconds_since(start);
    return progress;
}

// Called without the GIL: waits up to one slice for a complete result,
// reading without sleeping until `spin_until`.
Progress wait_until_not_busy(PGconn* conn, Clock::time_point spin_until, double& polled) {
    if (PQisBusy(conn) && Clock::now() < spin_until &&
        spin_until_not_busy(conn, spin_until, polled) == Progress::Broken) {
        return Progress::Broken;
    }
    while (PQisBusy(conn)) {
        pollfd socket{PQsocket(conn), POLLIN, 0};
        if (socket.fd < 0) return Progress::Broken;
        const int ready = timed_poll(socket, kSliceMilliseconds, polled);
        if (ready < 0 && errno != EINTR) return Progress::Broken;
        if (ready <= 0) return Progress::SliceOver;  // timeout or a signal arrived
        if (PQconsumeInput(conn) == 0) return Progress::Broken;
    }
    return Progress::Ready;
}

// Called without the GIL: the single-row results already complete, up to the
// batch limit. The first result of another kind (or the end, null) goes to `other`.
void take_ready_rows(PGconn* conn, std::vector<PgResultPtr>& batch, std::optional<PgResultPtr>& other) {
    while (batch.size() < kMaxRowBatch && !PQisBusy(conn)) {
        PgResultPtr result(PQgetResult(conn));
        if (result && PQresultStatus(result.get()) == PGRES_SINGLE_TUPLE) {
            batch.push_back(std::move(result));
            continue;
        }
        other = std::move(result);
        return;
    }
}

// Called without the GIL: take_ready_rows, reading more input while the
// batch is small and more rows come soon.
void gather_rows(PGconn* conn, std::vector<PgResultPtr>& batch, std::optional<PgResultPtr>& other, double& polled) {
    while (true) {
        take_ready_rows(conn, batch, other);
        if (other || batch.size() >= kMinRowBatch) return;
        pollfd socket{PQsocket(conn), POLLIN, 0};
        if (socket.fd < 0 || timed_poll(socket, kGatherMilliseconds, polled) <= 0) return;
        if (PQconsumeInput(conn) == 0) return;  // the next wait reports the broken connection
    }
}

// Called without the GIL: ends a COPY the server started, so that the
// connection stays usable.
void refuse_copy(PGconn* conn, ExecStatusType status) {
    if (status == PGRES_COPY_IN) {
        PQputCopyEnd(conn, "COPY FROM STDIN is not supported by this driver");
    } else {
        char* row = nullptr;
        while (PQgetCopyData(conn, &row, 0) > 0) PQfreemem(row);
    }
}

// Called without the GIL: whether `result` (null included) is the end of
// what was sent. Outside a pipeline that is the null after the last result.
// In a pipeline a null only separates its queries and the sync ends it; the
// connection leaves pipeline mode then, which libpq allows once every result
// is read (so a null with the queue empty ends it too).
bool ends_results(PGconn* conn, const PgResultPtr& result) {
    if (PQpipelineStatus(conn) == PQ_PIPELINE_OFF) return !result;
    if (PQstatus(conn) == CONNECTION_BAD) return !result;
    if (result && PQresultStatus(result.get()) != PGRES_PIPELINE_SYNC) return false;
    return PQexitPipelineMode(conn) != 0;
}

// Called without the GIL: reads and drops everything up to the end of what was sent.
void drain_results(PGconn* conn) {
    while (true) {
        PgResultPtr result(PQgetResult(conn));
        if (ends_results(conn, result)) return;
        if (!result) continue;
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) refuse_copy(conn, status);
        if (PQstatus(conn) == CONNECTION_BAD) return;
    }
}

void cancel_and_drain(PGconn* conn, PGcancel* cancel) {
    nb::gil_scoped_release unlocked;
    if (cancel != nullptr) {
        char message[256];
        PQcancel(cancel, message, sizeof(message));
    }
    drain_results(conn);
}

void check_signals(PGconn* conn, PGcancel* cancel) {
    if (PyErr_CheckSignals() != 0) {
        cancel_and_drain(conn, cancel);
        throw nb::python_error();
    }
}

// The sink's failure (a value it cannot build) ends the statement for the
// caller; the rest of the results is read so the connection stays usable.
void hand_over(PGconn* conn, RowSink& sink, std::vector<PgResultPtr>& batch) {
    try {
        sink.take(batch);
    } catch (...) {
        {
            nb::gil_scoped_release unlocked;
            batch.clear();
            drain_results(conn);
        }
        throw;
    }
}

// What the read phase has gathered so far.
struct Reading {
    StatementResults results;
    bool copy_refused = false;
    bool finished = false;
};

// Called without the GIL: keeps one result that is not a row of a sink.
void keep(PGconn* conn, PgResultPtr result, Reading& reading) {
    const ExecStatusType status = PQresultStatus(result.get());
    switch (status) {
        case PGRES_FATAL_ERROR:
        case PGRES_NONFATAL_ERROR:
        case PGRES_BAD_RESPONSE:
            if (!reading.results.error) reading.results.error = std::move(result);
            break;
        case PGRES_COPY_IN:
        case PGRES_COPY_OUT:
        case PGRES_COPY_BOTH:
            reading.copy_refused = true;
            refuse_copy(conn, status);
            break;
        case PGRES_PIPELINE_SYNC:
        case PGRES_PIPELINE_ABORTED:  // a query skipped after an earlier one failed
            break;
        default:
            reading.results.last = std::move(result);
            break;
    }
}

// The send phase. Raises when nothing could be sent; a pipeline sent in part
// is ended and read, so that the connection leaves pipeline mode.
void send_statement(PGconn* conn, const SendStatement& send, bool single_rows) {
    int sent = 0;
    std::string send_failure;
    {
        nb::gil_scoped_release unlocked;
        sent = send(conn);
        if (sent != 0 && single_rows) PQsetSingleRowMode(conn);
        if (sent == 0 && PQpipelineStatus(conn) != PQ_PIPELINE_OFF) {
            send_failure = PQerrorMessage(conn);
            if (PQstatus(conn) == CONNECTION_OK && PQpipelineSync(conn) != 0) drain_results(conn);
        }
    }
    if (sent == 0 && !send_failure.empty()) raise_error(ErrorKind::OperationalError, send_failure);
    if (sent == 0) raise_connection_error(conn);
}

// Called without the GIL: reads results until the end, a slice without
// input, or rows that need the GIL to be built.
Progress read_some(PGconn* conn, Clock::time_point spin_until, RowSink* sink, std::vector<PgResultPtr>& batch,
                   Reading& reading, double& polled) {
    Progress progress;
    while ((progress = wait_until_not_busy(conn, spin_until, polled)) == Progress::Ready) {
        std::optional<PgResultPtr> next;
        if (sink != nullptr) {
            gather_rows(conn, batch, next, polled);
        } else {
            next = PgResultPtr(PQgetResult(conn));  // does not block: input is complete
        }
        if (next && ends_results(conn, *next)) {
            reading.finished = true;
            break;
        }
        if (next && *next) keep(conn, std::move(*next), reading);
        if (!batch.empty()) break;
    }
    return progress;
}

// The read phase: every result, rows handed to `sink` batch by batch, signal
// handlers run between slices.
StatementResults read_results(PGconn* conn, PGcancel* cancel, RowSink* sink, double spin_seconds) {
    const Clock::time_point spin_until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(spin_seconds));
    Reading reading;
    std::vector<PgResultPtr> batch;
    bool rows_seen = false;
    while (!reading.finished) {
        Progress progress;
        double polled = 0;
        {
            nb::gil_scoped_release unlocked;
            batch.clear();  // the rows handed over last time, freed without the GIL
            progress = read_some(conn, spin_until, sink, batch, reading, polled);
        }
        if (rows_seen) reading.results.timing.waited_after_first_row += polled;
        if (progress == Progress::Broken) raise_connection_error(conn);
        if (sink != nullptr && !batch.empty()) {
            rows_seen = true;
            const Clock::time_point building = Clock::now();
            hand_over(conn, *sink, batch);
            reading.results.timing.building += seconds_since(building);
        }
        if (!reading.finished) check_signals(conn, cancel);
    }
    // Ending a COPY FROM STDIN early makes the server report an error too.
    if (reading.copy_refused) raise_error(ErrorKind::NotSupportedError, "COPY is not supported by this driver");
    return std::move(reading.results);
}

}  // namespace

void send_cancel(PGcancel* cancel) {
    char message[256] = {0};
    int sent = 0;
    {
        nb::gil_scoped_release unlocked;
        sent = cancel != nullptr ? PQcancel(cancel, message, sizeof(message)) : 0;
    }
    if (sent == 0) raise_error(ErrorKind::OperationalError, std::string("cancel request failed: ") + message);
}

StatementResults collect_results(PGconn* conn, PGcancel* cancel, const SendStatement& send, RowSink* sink,
                                 double spin_seconds) {
    CollectorResume collecting;  // other threads' garbage is collected while this one waits
    // Pipelines come without a sink: single-row mode would apply to their first query only.
    send_statement(conn, send, sink != nullptr);
    return read_results(conn, cancel, sink, spin_seconds);
}

PgResultPtr take_result(PGconn* conn, StatementResults results) {
    if (results.error) raise_from_result(conn, results.error.get());
    if (PQstatus(conn) == CONNECTION_BAD) raise_connection_error(conn);
    if (!results.last) raise_error(ErrorKind::ProgrammingError, "the query produced no result");
    if (PQresultStatus(results.last.get()) == PGRES_EMPTY_QUERY) {
        raise_error(ErrorKind::ProgrammingError, "can't execute an empty query");
    }
    return std::move(results.last);
}

PgResultPtr run_query(PGconn* conn, PGcancel* cancel, const std::string& sql) {
    return take_result(conn, collect_results(conn, cancel, [&sql](PGconn* c) { return PQsendQuery(c, sql.c_str()); }));
}

bool run_quietly(PGconn* conn, PGcancel* cancel, const std::string& sql) {
    StatementResults results =
        collect_results(conn, cancel, [&sql](PGconn* c) { return PQsendQuery(c, sql.c_str()); });
    if (PQstatus(conn) == CONNECTION_BAD) raise_connection_error(conn);
    return !results.error;
}

void wait_for_result(PGconn* conn, PGcancel* cancel) {
    while (true) {
        Progress progress;
        double polled = 0;
        {
            nb::gil_scoped_release unlocked;
            progress = wait_until_not_busy(conn, Clock::now(), polled);
        }
        if (progress == Progress::Broken) raise_connection_error(conn);
        if (progress == Progress::Ready) return;
        check_signals(conn, cancel);
    }
}

void wait_for_input(PGconn* conn, PGcancel* cancel) {
    int ready = 0;
    bool broken = false;
    {
        nb::gil_scoped_release unlocked;
        pollfd socket{PQsocket(conn), POLLIN, 0};
        ready = socket.fd < 0 ? -1 : poll(&socket, 1, kSliceMilliseconds);
        broken = (ready < 0 && errno != EINTR) || (ready > 0 && PQconsumeInput(conn) == 0);
    }
    if (broken) raise_connection_error(conn);
    if (ready <= 0) check_signals(conn, cancel);
}

}  // namespace nelvor::driver
