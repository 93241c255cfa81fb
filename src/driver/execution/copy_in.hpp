#pragma once
// COPY ... FROM STDIN with the rows already written out in COPY's text format.
#include <libpq-fe.h>

#include <string>

#include "driver/handles.hpp"

namespace nelvor::driver {

// Runs `copy` (a COPY ... FROM STDIN statement), sends `data` and returns
// the statement's result; raises the driver's errors as run_query does. The
// GIL is released while data goes out and results come in.
PgResultPtr copy_in(PGconn* conn, PGcancel* cancel, const std::string& copy, const std::string& data);

}  // namespace nelvor::driver
