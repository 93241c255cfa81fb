#include "connections/core/wait_query.hpp"

#include <nanobind/nanobind.h>
#include <poll.h>

#include <cerrno>

#include "connections/core/driver_errors.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

namespace {

// Signal handlers run between slices, so Ctrl-C answers within this time.
constexpr int kSliceMilliseconds = 100;

enum class Progress { Ready, SliceOver, Broken };

// Called without the GIL: waits up to one slice for the results.
Progress wait_until_not_busy(PGconn* conn) {
    while (PQisBusy(conn)) {
        pollfd socket{PQsocket(conn), POLLIN, 0};
        if (socket.fd < 0) return Progress::Broken;
        const int ready = poll(&socket, 1, kSliceMilliseconds);
        if (ready < 0 && errno != EINTR) return Progress::Broken;
        if (ready <= 0) return Progress::SliceOver;  // timeout or a signal arrived
        if (PQconsumeInput(conn) == 0) return Progress::Broken;
    }
    return Progress::Ready;
}

// Called without the GIL: reads and drops everything up to the end of the text.
void drain_results(PGconn* conn) {
    while (PGresult* result = PQgetResult(conn)) {
        const ExecStatusType status = PQresultStatus(result);
        PQclear(result);
        if (status == PGRES_COPY_IN) {
            PQputCopyEnd(conn, "COPY FROM STDIN is not supported by this driver");
        } else if (status == PGRES_COPY_OUT) {
            char* row = nullptr;
            while (PQgetCopyData(conn, &row, 0) > 0) PQfreemem(row);
        }
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

PgResultPtr run_query(PGconn* conn, PGcancel* cancel, const std::string& sql) {
    int sent = 0;
    {
        nb::gil_scoped_release unlocked;
        sent = PQsendQuery(conn, sql.c_str());
    }
    if (sent == 0) raise_connection_error(conn);

    PgResultPtr last;
    PgResultPtr first_error;
    bool copy_refused = false;
    while (true) {
        Progress progress;
        {
            nb::gil_scoped_release unlocked;
            progress = wait_until_not_busy(conn);
        }
        if (progress == Progress::Broken) raise_connection_error(conn);
        if (progress == Progress::SliceOver) {
            if (PyErr_CheckSignals() != 0) {
                cancel_and_drain(conn, cancel);
                throw nb::python_error();
            }
            continue;
        }
        PgResultPtr result(PQgetResult(conn));  // does not block: input is complete
        if (!result) break;
        switch (PQresultStatus(result.get())) {
            case PGRES_FATAL_ERROR:
            case PGRES_NONFATAL_ERROR:
            case PGRES_BAD_RESPONSE:
                if (!first_error) first_error = std::move(result);
                break;
            case PGRES_COPY_IN:
            case PGRES_COPY_OUT:
            case PGRES_COPY_BOTH: {
                copy_refused = true;
                nb::gil_scoped_release unlocked;
                // Ends the COPY so that the connection stays usable.
                if (PQresultStatus(result.get()) == PGRES_COPY_IN) {
                    PQputCopyEnd(conn, "COPY FROM STDIN is not supported by this driver");
                } else {
                    char* row = nullptr;
                    while (PQgetCopyData(conn, &row, 0) > 0) PQfreemem(row);
                }
                break;
            }
            default:
                last = std::move(result);
                break;
        }
    }
    // Ending a COPY FROM STDIN early makes the server report an error too.
    if (copy_refused) raise_error(ErrorKind::NotSupportedError, "COPY is not supported by this driver");
    if (first_error) raise_from_result(conn, first_error.get());
    if (PQstatus(conn) == CONNECTION_BAD) raise_connection_error(conn);
    if (!last) raise_error(ErrorKind::ProgrammingError, "the query produced no result");
    if (PQresultStatus(last.get()) == PGRES_EMPTY_QUERY) raise_error(ErrorKind::ProgrammingError, "can't execute an empty query");
    return last;
}

}  // namespace nelvor::driver
