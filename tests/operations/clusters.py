"""Extra throwaway PostgreSQL clusters for the operations tests: a primary with a
synchronous standby, a server with TLS and password authentication. Started the way
scripts/embedded_pg.py starts the session's server (as an unprivileged account under
root, on a free loopback port), administered through their own Unix socket."""
from __future__ import annotations

import contextlib
import dataclasses
import os
import shutil
import subprocess
import tempfile
import time
from collections.abc import Iterator, Mapping, Sequence

import embedded_pg

# psql's unaligned output with separators that do not occur in test data.
_FIELD_SEPARATOR, _RECORD_SEPARATOR = "\x1f", "\x1e"
# Administration goes through the socket, which keeps initdb's trust entries.
LOCAL_TRUST = ("local all all trust", "local replication all trust")


@dataclasses.dataclass
class Cluster:
    root: str
    bindir: str
    os_user: str
    port: int = 0

    @property
    def data_dir(self) -> str:
        return os.path.join(self.root, "data")

    @property
    def socket_dir(self) -> str:
        return self.root

    def tool(self, name: str) -> str:
        return os.path.join(self.bindir, name)

    def as_server_user(self, argv: list[str], what: str) -> str:
        return embedded_pg.run(embedded_pg.as_user(self.os_user, argv), what, cwd=self.root)

    def ctl(self, action: str, *extra: str) -> str:
        argv = [self.tool("pg_ctl"), "-D", self.data_dir, "-w", "-t", "60"]
        if action in ("start", "restart"):
            argv += ["-l", self.log_path]
        return self.as_server_user([*argv, action, *extra], f"pg_ctl {action}")

    @property
    def log_path(self) -> str:
        return os.path.join(self.root, "postgres.log")

    def log(self) -> str:
        with contextlib.suppress(OSError), open(self.log_path, encoding="utf-8", errors="replace") as log:
            return log.read()
        return ""

    def sql(self, statement: str, database: str = "postgres") -> list[tuple]:
        """Rows of the last result as tuples of text (NULL as ''), run as the superuser."""
        done = subprocess.run(
            [self.tool("psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
             "-F", _FIELD_SEPARATOR, "-R", _RECORD_SEPARATOR, "-h", self.socket_dir,
             "-p", str(self.port), "-U", embedded_pg.SUPERUSER, "-d", database, "-c", statement],
            capture_output=True, text=True, stdin=subprocess.DEVNULL)
        if done.returncode != 0:
            raise embedded_pg.EmbeddedPostgresError(f"psql failed on {statement!r}: {done.stderr.strip()}")
        output = done.stdout.removesuffix("\n")
        return [tuple(record.split(_FIELD_SEPARATOR)) for record in output.split(_RECORD_SEPARATOR)] if output else []

    def configure(self, settings: Mapping[str, str]) -> None:
        with open(os.path.join(self.data_dir, "postgresql.conf"), "a", encoding="utf-8") as conf:
            conf.write("\n# operations test cluster\n")
            conf.writelines(f"{key} = {value}\n" for key, value in settings.items())

    def write_hba(self, lines: Sequence[str]) -> None:
        with open(os.path.join(self.data_dir, "pg_hba.conf"), "w", encoding="utf-8") as hba:
            hba.writelines(f"{line}\n" for line in (*LOCAL_TRUST, *lines))

    def start(self, settings: Mapping[str, str] | None = None) -> None:
        """Start on a free port (retried: another process may take the probed one)."""
        for attempt in range(3):
            self.port = embedded_pg.free_port()
            self.configure({**embedded_pg.FAST_SETTINGS, **(settings or {}),
                            "listen_addresses": "'127.0.0.1'", "port": str(self.port),
                            "unix_socket_directories": f"'{self.socket_dir}'"})
            try:
                self.ctl("start")
                return
            except embedded_pg.EmbeddedPostgresError:
                if attempt == 2:
                    raise embedded_pg.EmbeddedPostgresError(f"cluster did not start:\n{self.log()[-3000:]}")

    def stop_and_remove(self) -> None:
        embedded_pg.stop_and_remove({"NELVOR_PG_DATA": self.data_dir, "NELVOR_PG_CTL": self.tool("pg_ctl"),
                                     "NELVOR_PG_OS_USER": self.os_user}, self.root)


def new_cluster_folder(bindir: str, os_user: str) -> Cluster:
    root = tempfile.mkdtemp(prefix="nelvor-ops-", dir="/tmp" if os.geteuid() == 0 else None)
    if os.geteuid() == 0:
        shutil.chown(root, user=os_user)
    return Cluster(root=root, bindir=bindir, os_user=os_user)


@contextlib.contextmanager
def clusters() -> Iterator[callable]:
    """Yields make(): each call a new, not yet started cluster; all are removed at the end."""
    bindir = embedded_pg.find_bindir()
    os_user = embedded_pg.server_os_user()
    made: list[Cluster] = []

    def make() -> Cluster:
        cluster = new_cluster_folder(bindir, os_user)
        made.append(cluster)
        return cluster

    try:
        yield make
    finally:
        for cluster in reversed(made):
            cluster.stop_and_remove()


def init_primary(cluster: Cluster) -> Cluster:
    embedded_pg.init_cluster(cluster.bindir, cluster.os_user, cluster.root)
    return cluster


def clone_standby(primary: Cluster, standby: Cluster) -> Cluster:
    """A hot standby streaming from `primary` (pg_basebackup -R writes primary_conninfo
    and standby.signal), as the server account."""
    standby.as_server_user([standby.tool("pg_basebackup"), "-D", standby.data_dir, "-R",
                            "-h", primary.socket_dir, "-p", str(primary.port), "-U", embedded_pg.SUPERUSER,
                            "-X", "stream", "--checkpoint=fast", "--no-sync"], "pg_basebackup")
    return standby


def require_synchronous_standby(primary: Cluster) -> None:
    """From now on a commit on `primary` returns only once a standby has flushed it.
    Set after the standby is attached (a commit would wait for it forever) and with
    ALTER SYSTEM on the primary only, so a base backup taken before never carries it."""
    primary.sql("ALTER SYSTEM SET synchronous_standby_names = '*'")
    primary.sql("SELECT pg_reload_conf()")
    wait_for(lambda: primary.sql("SELECT sync_state FROM pg_stat_replication") == [("sync",)],
             timeout=30, what="the standby to stream synchronously")


def wait_for(predicate, timeout: float, what: str) -> None:
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)
