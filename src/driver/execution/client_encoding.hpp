#pragma once
// The driver sends and reads every text as UTF-8 (it asks for it when
// connecting). A statement may change the session's client_encoding
// (SET client_encoding, set_config, a function's SET clause); the server then
// converts to and from that encoding while we would go on with UTF-8. Rather
// than exchange text in the wrong encoding, such a change is refused.
#include <libpq-fe.h>
#include <nanobind/nanobind.h>

namespace nelvor::driver {

namespace nb = nanobind;

// Whether the server has reported a client_encoding other than UTF-8.
bool client_encoding_changed(PGconn* conn);

// Sets client_encoding back to UTF-8 and raises NotSupportedError saying so,
// caused by `failure` when the statement failed (not null then). Called with
// the GIL held, after a statement that changed it.
[[noreturn]] void refuse_client_encoding(PGconn* conn, PGcancel* cancel, nb::handle failure);

}  // namespace nelvor::driver
