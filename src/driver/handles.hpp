#pragma once
// Owning handles for libpq objects. The connection is shared: every call that
// releases the GIL holds its own strong reference, so a concurrent close()
// only drops one owner and PQfinish runs after the last user is done.
#include <libpq-fe.h>

#include <memory>

namespace nelvor::driver {

using PgConnPtr = std::shared_ptr<PGconn>;

inline PgConnPtr adopt_connection(PGconn* raw) {
    return PgConnPtr(raw, [](PGconn* conn) {
        if (conn != nullptr) PQfinish(conn);
    });
}

struct PgResultDeleter {
    void operator()(PGresult* result) const noexcept { PQclear(result); }
};
using PgResultPtr = std::unique_ptr<PGresult, PgResultDeleter>;

struct PgCancelDeleter {
    void operator()(PGcancel* cancel) const noexcept { PQfreeCancel(cancel); }
};

struct PgMemDeleter {
    void operator()(void* memory) const noexcept { PQfreemem(memory); }
};
using PgMemPtr = std::unique_ptr<unsigned char, PgMemDeleter>;

}  // namespace nelvor::driver
