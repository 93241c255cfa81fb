#include "driver/execution/held_begin.hpp"

#include "driver/execution/placeholders.hpp"
#include "driver/execution/sql_lexer.hpp"

namespace nelvor::driver {

namespace {

constexpr const char* kBegin = "BEGIN";

bool without_parameters(nb::handle params) { return params.is_none() || parameter_snapshot(params).size() == 0; }

}  // namespace

bool HeldBegin::hold(PGconn* conn, std::string_view query, nb::handle params) {
    if (held_ || !is_bare_begin(query) || !without_parameters(params)) return false;
    // In a transaction BEGIN only draws a warning, in an aborted one an
    // error: those go to the server as before.
    if (PQtransactionStatus(conn) != PQTRANS_IDLE) return false;
    held_ = true;
    return true;
}

bool HeldBegin::take() {
    const bool held = held_;
    held_ = false;
    return held;
}

int send_after_begin(PGconn* conn, const SendStatement& send) {
    if (PQenterPipelineMode(conn) == 0) return 0;
    if (PQsendQueryParams(conn, kBegin, 0, nullptr, nullptr, nullptr, nullptr, 0) == 0) return 0;
    if (send(conn) == 0) return 0;
    return PQpipelineSync(conn);
}

}  // namespace nelvor::driver
