#pragma once
// COPY FROM STDIN and COPY TO STDOUT: a COPY statement's data streamed
// between the server and an endpoint, without the GIL while libpq sends or
// waits.
#include <libpq-fe.h>

#include <string>
#include <string_view>

#include "driver/handles.hpp"

namespace nelvor::driver {

// Where a COPY's data comes from or goes to; the server's statement decides
// which way. Both calls run with the GIL held and may raise.
class CopyEndpoint {
public:
    virtual ~CopyEndpoint() = default;
    // COPY FROM STDIN: the next piece of data, empty at the end. The view
    // stays valid until the next call.
    virtual std::string_view read() = 0;
    // COPY TO STDOUT: one piece of data (a row) as the server sent it.
    virtual void write(std::string_view data) = 0;
};

// COPY FROM STDIN of a buffer the caller holds, in one piece.
class CopyFromBuffer : public CopyEndpoint {
public:
    explicit CopyFromBuffer(std::string_view data) : data_(data) {}
    std::string_view read() override;
    void write(std::string_view data) override;

private:
    std::string_view data_;
    bool sent_ = false;
};

// Sends `sql` (COPY ... FROM STDIN or TO STDOUT; any other statement is run
// and refused with ProgrammingError) and streams its data through `endpoint`.
// Returns the final result (PQcmdTuples has the rows copied). Raises the
// driver's errors, or the endpoint's own after ending the COPY: the
// connection stays usable either way.
PgResultPtr run_copy(PGconn* conn, PGcancel* cancel, const std::string& sql, CopyEndpoint& endpoint);

}  // namespace nelvor::driver
