#include "driver/execution/copy_stream.hpp"

#include <nanobind/nanobind.h>

#include "driver/errors.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

namespace {

// The results after the COPY data (or after a statement that started none),
// read like those of any statement; a further COPY in the text is refused.
StatementResults rest_of(PGconn* conn, PGcancel* cancel) {
    return collect_results(conn, cancel, [](PGconn*) { return 1; });
}

// After a failure of the endpoint's or the caller's: the statement's end is
// read so that the connection stays usable, and whatever that reports gives
// way to the failure being raised.
void settle(PGconn* conn, PGcancel* cancel) {
    try {
        rest_of(conn, cancel);
    } catch (nb::python_error&) {
    }
}

void send_data(PGconn* conn, PGcancel* cancel, CopyEndpoint& endpoint) {
    try {
        while (true) {
            const std::string_view piece = endpoint.read();
            if (piece.empty()) break;
            int sent = 0;
            {
                nb::gil_scoped_release unlocked;
                sent = PQputCopyData(conn, piece.data(), static_cast<int>(piece.size()));
            }
            if (sent != 1) raise_connection_error(conn);
            // Ctrl-C ends a long copy; the error ends the COPY below.
            if (PyErr_CheckSignals() != 0) throw nb::python_error();
        }
    } catch (nb::python_error&) {
        // The server ends the COPY with an error and keeps none of the data.
        {
            nb::gil_scoped_release unlocked;
            PQputCopyEnd(conn, "the data source failed");
        }
        settle(conn, cancel);
        throw;
    }
    int ended = 0;
    {
        nb::gil_scoped_release unlocked;
        ended = PQputCopyEnd(conn, nullptr);
    }
    if (ended != 1) raise_connection_error(conn);
}

void receive_data(PGconn* conn, PGcancel* cancel, CopyEndpoint& endpoint) {
    while (true) {
        char* raw = nullptr;
        const int size = PQgetCopyData(conn, &raw, 1);
        PgMemPtr row(reinterpret_cast<unsigned char*>(raw));
        if (size == -1) return;  // done: the final result follows
        if (size == -2) raise_connection_error(conn);
        if (size == 0) {
            wait_for_input(conn, cancel);
            continue;
        }
        try {
            endpoint.write(std::string_view(raw, static_cast<size_t>(size)));
        } catch (nb::python_error&) {
            // The rest is not wanted: the server is asked to stop sending it.
            {
                nb::gil_scoped_release unlocked;
                char message[256];
                PQcancel(cancel, message, sizeof(message));
            }
            settle(conn, cancel);
            throw;
        }
    }
}

}  // namespace

std::string_view CopyFromBuffer::read() {
    if (sent_) return {};
    sent_ = true;
    return data_;
}

void CopyFromBuffer::write(std::string_view) {
    raise_error(ErrorKind::ProgrammingError, "COPY TO STDOUT needs somewhere to write: a buffer is read only");
}

PgResultPtr run_copy(PGconn* conn, PGcancel* cancel, const std::string& sql, CopyEndpoint& endpoint) {
    int sent = 0;
    {
        nb::gil_scoped_release unlocked;
        sent = PQsendQuery(conn, sql.c_str());
    }
    if (sent == 0) raise_connection_error(conn);
    wait_for_result(conn, cancel);
    PgResultPtr first(PQgetResult(conn));
    const ExecStatusType status = first ? PQresultStatus(first.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COPY_IN) {
        send_data(conn, cancel, endpoint);
    } else if (status == PGRES_COPY_OUT) {
        receive_data(conn, cancel, endpoint);
    } else {
        settle(conn, cancel);
        if (!first) raise_connection_error(conn);
        if (status == PGRES_FATAL_ERROR || status == PGRES_NONFATAL_ERROR) raise_from_result(conn, first.get());
        raise_error(ErrorKind::ProgrammingError, "not a COPY FROM STDIN or COPY TO STDOUT statement");
    }
    return take_result(conn, rest_of(conn, cancel));
}

}  // namespace nelvor::driver
