#pragma once
// Sends one statement and waits for its results without holding the GIL, so
// other Python threads run and Ctrl-C (a signal handler) can interrupt it.
#include <libpq-fe.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/handles.hpp"

namespace nelvor::driver {

// A libpq send call (PQsendQuery, PQsendPrepare, ...); run without the GIL.
using SendStatement = std::function<int(PGconn*)>;

// Takes the rows of a statement run in single-row mode, batch by batch, with
// the GIL held, while the server goes on producing the rest.
class RowSink {
public:
    virtual ~RowSink() = default;
    // PGRES_SINGLE_TUPLE results in arrival order; the sink may keep or drop them.
    virtual void take(std::vector<PgResultPtr>& rows) = 0;
};

// What a run with a sink observed, in seconds.
struct StreamTiming {
    double waited_after_first_row = 0;  // blocked on the socket for more rows from the server
    double building = 0;                // in the sink, with the GIL
};

struct StatementResults {
    PgResultPtr last;   // the last result that is no error
    PgResultPtr error;  // the first error the server reported
    StreamTiming timing;
};

// Sends, then reads every result. With a sink, rows go to it as they arrive
// (single-row mode); without, `send` may send a pipeline ended by a sync,
// read up to the sync (pipeline mode is left however the reading ends).
// Server errors are returned; a broken connection, COPY and a raising signal
// handler (after cancelling) raise. The input is read without sleeping for
// `spin_seconds` first. The GIL is released around every libpq call.
StatementResults collect_results(PGconn* conn, PGcancel* cancel, const SendStatement& send, RowSink* sink = nullptr,
                                 double spin_seconds = 0);

// Raises the driver error of `results` (the server's error, a broken
// connection, no result, an empty query); returns the last result otherwise.
PgResultPtr take_result(PGconn* conn, StatementResults results);

// A text sent as a simple query; raises as take_result does.
PgResultPtr run_query(PGconn* conn, PGcancel* cancel, const std::string& sql);

// Housekeeping statements whose failure only matters to the caller's next
// step: false when the server refused the text.
bool run_quietly(PGconn* conn, PGcancel* cancel, const std::string& sql);

// Asks the server to cancel the running statement; raises OperationalError
// when the request cannot be delivered.
void send_cancel(PGcancel* cancel);

// Waits without the GIL until a result can be taken without blocking
// (PQisBusy false): the next result of a COPY, say. Raises OperationalError
// when the connection broke and, after cancelling and draining, the Python
// exception a signal handler raised.
void wait_for_result(PGconn* conn, PGcancel* cancel);

// Waits without the GIL up to one slice for input and reads it (COPY TO
// STDOUT data); raises as wait_for_result does.
void wait_for_input(PGconn* conn, PGcancel* cancel);

}  // namespace nelvor::driver
