#include "driver/execution/copy_in.hpp"

#include <nanobind/nanobind.h>

#include <algorithm>

#include "driver/errors.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

namespace {

// Handed to libpq a piece at a time so that its buffer stays small.
constexpr size_t kChunk = 1 << 20;

// Without the GIL: true when every byte went out and the end was sent.
bool send_rows(PGconn* conn, const std::string& data) {
    for (size_t at = 0; at < data.size(); at += kChunk) {
        const int length = static_cast<int>(std::min(kChunk, data.size() - at));
        if (PQputCopyData(conn, data.data() + at, length) != 1) return false;
    }
    return PQputCopyEnd(conn, nullptr) == 1;
}

}  // namespace

PgResultPtr copy_in(PGconn* conn, PGcancel* cancel, const std::string& copy, const std::string& data) {
    PgResultPtr refused;  // the server's error instead of the go-ahead
    bool sent = true;
    {
        nb::gil_scoped_release unlocked;
        if (PQsendQuery(conn, copy.c_str()) == 0) {
            sent = false;
        } else {
            PgResultPtr first(PQgetResult(conn));
            if (first && PQresultStatus(first.get()) == PGRES_COPY_IN) {
                sent = send_rows(conn, data);
            } else {
                refused = std::move(first);
            }
        }
    }
    if (!sent) raise_connection_error(conn);
    // What follows is read as any statement's results are: the rest of a
    // refusal, or the outcome of the rows.
    StatementResults results = collect_results(conn, cancel, [](PGconn*) { return 1; });
    if (refused && PQresultStatus(refused.get()) != PGRES_COMMAND_OK) results.error = std::move(refused);
    return take_result(conn, std::move(results));
}

}  // namespace nelvor::driver
