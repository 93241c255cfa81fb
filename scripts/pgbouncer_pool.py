#!/usr/bin/env python3
"""PgBouncer in transaction pooling mode in front of a PostgreSQL server (standard
library only), for tests that must pass through a connection pooler.

Python:  with pgbouncer_pool(host, port) as pooler: ...   (pooler.host, pooler.port)
Command: python scripts/pgbouncer_pool.py -- COMMAND...
         runs COMMAND with POSTGRES_HOST/PORT (and the POSTGRES_STATE_ ones) pointing
         at a pooler in front of the server that POSTGRES_HOST/PORT name.

Trust authentication: meant for throwaway servers on the loopback interface only.
"""
from __future__ import annotations

import contextlib
import dataclasses
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from collections.abc import Iterator

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import embedded_pg  # noqa: E402

PGBOUNCER_CANDIDATES = ("/usr/sbin/pgbouncer", "/usr/bin/pgbouncer")


class PgBouncerError(RuntimeError):
    pass


@dataclasses.dataclass(frozen=True)
class Pooler:
    host: str
    port: int
    pid: int
    user: str
    log_path: str

    def show(self, what: str) -> list[dict[str, str]]:
        """Rows of the admin console's SHOW command (CLIENTS, SERVERS, POOLS...)."""
        psql = shutil.which("psql") or os.path.join(embedded_pg.find_bindir(), "psql")
        done = subprocess.run([psql, "-X", "-A", "-F", "\t", "-h", self.host, "-p", str(self.port),
                               "-U", self.user, "-d", "pgbouncer", "-c", f"SHOW {what}"],
                              capture_output=True, text=True, stdin=subprocess.DEVNULL, check=True)
        header, *rows = done.stdout.splitlines()[:-1]  # the last line counts the rows
        names = header.split("\t")
        return [dict(zip(names, row.split("\t"))) for row in rows]


def find_pgbouncer() -> str:
    found = shutil.which("pgbouncer")
    if found:
        return found
    for candidate in PGBOUNCER_CANDIDATES:
        if os.access(candidate, os.X_OK):
            return candidate
    raise PgBouncerError("pgbouncer not found (install the pgbouncer package)")


def write_config(folder: str, server_host: str, server_port: int, listen_port: int,
                 user: str, pool_size: int) -> str:
    userlist = os.path.join(folder, "userlist.txt")
    with open(userlist, "w", encoding="utf-8") as users:
        users.write(f'"{user}" ""\n')  # trust: the name must still be listed
    ini = os.path.join(folder, "pgbouncer.ini")
    with open(ini, "w", encoding="utf-8") as config:
        config.write(f"""[databases]
* = host={server_host} port={server_port}

[pgbouncer]
listen_addr = 127.0.0.1
listen_port = {listen_port}
unix_socket_dir =
auth_type = trust
auth_file = {userlist}
admin_users = {user}
pool_mode = transaction
default_pool_size = {pool_size}
max_client_conn = 200
server_reset_query =
logfile = {os.path.join(folder, "pgbouncer.log")}
""")
    return ini


def wait_for_port(child: subprocess.Popen, port: int, log_path: str, timeout: float = 15.0) -> None:
    deadline = time.monotonic() + timeout
    while True:
        if child.poll() is not None:
            raise PgBouncerError(f"pgbouncer exited with {child.returncode}: {tail(log_path)}")
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=1):
            return
        if time.monotonic() > deadline:
            raise PgBouncerError(f"pgbouncer not listening on {port} after {timeout:.0f}s: {tail(log_path)}")
        time.sleep(0.05)


def tail(path: str) -> str:
    with contextlib.suppress(OSError), open(path, encoding="utf-8", errors="replace") as log:
        return log.read()[-2000:]
    return "(no log)"


def stop(child: subprocess.Popen) -> None:
    if child.poll() is None:
        child.terminate()
        try:
            child.wait(timeout=10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()


@contextlib.contextmanager
def pgbouncer_pool(server_host: str, server_port: int | str, user: str = embedded_pg.SUPERUSER,
                   pool_size: int = 4, attempts: int = 3) -> Iterator[Pooler]:
    """A PgBouncer process in front of the server, stopped and removed on exit.
    It refuses to run as root, so under root it runs as the server's account."""
    binary = find_pgbouncer()
    # The account the test cluster runs as, when a run started one.
    os_user = os.environ.get("NELVOR_PG_OS_USER") or embedded_pg.server_os_user()
    account = pwd.getpwnam(os_user)
    folder = tempfile.mkdtemp(prefix="nelvor-pgbouncer-", dir="/tmp" if os.geteuid() == 0 else None)
    child = None
    try:
        for attempt in range(attempts):
            # The probed port may be taken before PgBouncer binds it: retry.
            port = embedded_pg.free_port()
            ini = write_config(folder, server_host, int(server_port), port, user, pool_size)
            log_path = os.path.join(folder, "pgbouncer.log")
            if os.geteuid() == 0:
                for name in os.listdir(folder):
                    shutil.chown(os.path.join(folder, name), user=os_user)
                shutil.chown(folder, user=os_user)
            as_account = {"user": account.pw_uid, "group": account.pw_gid, "extra_groups": []} \
                if os.geteuid() == 0 else {}
            child = subprocess.Popen([binary, ini], cwd=folder, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **as_account)
            try:
                wait_for_port(child, port, log_path)
                break
            except PgBouncerError:
                stop(child)
                if attempt == attempts - 1:
                    raise
        yield Pooler(host="127.0.0.1", port=port, pid=child.pid, user=user, log_path=log_path)
    finally:
        if child is not None:
            stop(child)
        shutil.rmtree(folder, ignore_errors=True)


def main(argv: list[str]) -> int:
    if not argv or argv[0] != "--" or len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    host, port = os.environ.get("POSTGRES_HOST"), os.environ.get("POSTGRES_PORT", "5432")
    if not host:
        print("pgbouncer_pool: POSTGRES_HOST must name the server", file=sys.stderr)
        return 2
    with pgbouncer_pool(host, port, user=os.environ.get("POSTGRES_USER", embedded_pg.SUPERUSER)) as pooler:
        env = {**os.environ}
        for prefix in ("POSTGRES_", "POSTGRES_STATE_"):
            env[f"{prefix}HOST"], env[f"{prefix}PORT"] = pooler.host, str(pooler.port)
        return subprocess.call(argv[1:], env=env)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
