#pragma once
// Sends one query text and waits for its results without holding the GIL, so
// other Python threads run and Ctrl-C (a signal handler) can interrupt it.
#include <libpq-fe.h>

#include <string>

#include "connections/core/pg_handles.hpp"

namespace nelvor::driver {

// Returns the last result of the text. Raises the mapped driver error after
// all results were drained when the server reported one, OperationalError
// when the connection broke, and the pending Python exception (after asking
// the server to cancel and draining) when a signal handler raised.
// The GIL must be held on entry; it is released around every libpq call.
PgResultPtr run_query(PGconn* conn, PGcancel* cancel, const std::string& sql);

// Asks the server to cancel the running statement; raises OperationalError
// when the request cannot be delivered.
void send_cancel(PGcancel* cancel);

}  // namespace nelvor::driver
