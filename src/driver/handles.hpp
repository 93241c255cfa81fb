#pragma once
// Owning handles for libpq objects. The connection is shared: every call that
// releases the GIL holds its own strong reference, so a concurrent close()
// only drops one owner and PQfinish runs after the last user is done.
#include <fcntl.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <memory>

namespace nelvor::driver {

using PgConnPtr = std::shared_ptr<PGconn>;

// A forked child holds a copy of the parent's socket: the goodbye PQfinish
// sends would end the parent's session. There the socket is first pointed at
// /dev/null (the child's descriptor only), so the parent's session lives on.
inline void detach_from_parent_socket(PGconn* conn) {
    const int socket = PQsocket(conn);
    if (socket < 0) return;
    const int sink = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (sink < 0) return;
    dup2(sink, socket);
    close(sink);
}

inline PgConnPtr adopt_connection(PGconn* raw) {
    const pid_t opened_by = getpid();
    return PgConnPtr(raw, [opened_by](PGconn* conn) {
        if (conn == nullptr) return;
        if (getpid() != opened_by) detach_from_parent_socket(conn);
        PQfinish(conn);
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
