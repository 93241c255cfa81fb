#include "driver/execution/client_encoding.hpp"

#include <string>

#include "driver/errors.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace {

int utf8_encoding() {
    static const int id = pg_char_to_encoding("UTF8");
    return id;
}

}  // namespace

bool client_encoding_changed(PGconn* conn) {
    return PQstatus(conn) == CONNECTION_OK && PQclientEncoding(conn) != utf8_encoding();
}

void refuse_client_encoding(PGconn* conn, PGcancel* cancel, nb::handle failure) {
    const std::string asked = pg_encoding_to_char(PQclientEncoding(conn));
    // In a failed transaction the SET is refused too; the rollback then
    // restores the value the transaction started with, UTF-8.
    const bool restored = run_quietly(conn, cancel, "SET client_encoding TO 'UTF8'");
    std::string message = "client_encoding " + asked +
                          " is not supported: this driver exchanges text as UTF-8 only; the statement's results "
                          "were dropped and client_encoding ";
    message += restored ? "was set back to UTF8" : "returns to UTF8 when the transaction is rolled back";
    try {
        raise_error(ErrorKind::NotSupportedError, message);
    } catch (nb::python_error& refusal) {
        if (failure.is_valid()) PyException_SetCause(refusal.value().ptr(), failure.inc_ref().ptr());
        throw;
    }
}

}  // namespace nelvor::driver
