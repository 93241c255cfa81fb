#pragma once
// A BEGIN run while the session is idle is held back and travels with the
// connection's next statement, in the same round trip: a transaction costs
// one round trip less. The server takes a transaction's snapshot at its
// first statement, not at BEGIN, so no statement sees anything else.
#include <libpq-fe.h>
#include <nanobind/nanobind.h>

#include <string_view>

#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

// Used under the connection's statement lock only.
class HeldBegin {
public:
    // True when `query` with `params` is a bare BEGIN (no parameters) on an
    // idle session with none held yet: it is held now instead of being sent.
    // Raises for unusable `params` as rendering them would.
    bool hold(PGconn* conn, std::string_view query, nb::handle params);
    bool pending() const { return held_; }
    // Without autocommit: the next statement opens a transaction, as a held
    // BEGIN would (the caller checked that the session is idle).
    void open_with_next() { held_ = true; }
    // True when one was held; it is the caller's to send from now on.
    bool take();
    // The session ended: nothing to begin.
    void drop() { held_ = false; }

private:
    bool held_ = false;
};

// Sends BEGIN and then the statement of `send` (one extended-protocol query)
// as one pipeline ended by a sync; collect_results reads it and leaves the
// pipeline. 0 when sending failed, like libpq's send calls.
int send_after_begin(PGconn* conn, const SendStatement& send);

}  // namespace nelvor::driver
