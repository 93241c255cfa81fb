#!/usr/bin/env python3
"""Throwaway PostgreSQL cluster for the demo and the tests (standard library only).

Python:  with embedded_postgres() as env: ...   (env: the variables below)
Command: python scripts/embedded_pg.py -- COMMAND...   (runs COMMAND with them set)
         python scripts/embedded_pg.py              (prints them, serves until Ctrl-C)

When POSTGRES_HOST is already set, no cluster is started: that server is used and
the POSTGRES_STATE_* variables are filled from POSTGRES_* where they are unset.
"""
from __future__ import annotations

import contextlib
import glob
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from collections.abc import Iterator, Mapping

DATABASE = "nelvor"
SUPERUSER = "postgres"
FALLBACK_OS_USER = "nelvor-pg"
CONNECTION_FIELDS = ("HOST", "PORT", "USER", "PASSWORD", "DATABASE")
LIBPQ_NAMES = {"HOST": "PGHOST", "PORT": "PGPORT", "USER": "PGUSER",
               "PASSWORD": "PGPASSWORD", "DATABASE": "PGDATABASE"}
CONTROL_VARIABLES = ("NELVOR_PG_DATA", "NELVOR_PG_CTL", "NELVOR_PG_OS_USER")
# Durability is worthless for a cluster deleted at exit; JIT compilation would
# dominate the timing of small benchmark queries.
FAST_SETTINGS = {
    "fsync": "off",
    "synchronous_commit": "off",
    "full_page_writes": "off",
    "jit": "off",
    "max_connections": "100",
}


class EmbeddedPostgresError(RuntimeError):
    pass


def _major(bindir: str) -> tuple:
    version = os.path.basename(os.path.dirname(bindir))
    return tuple(int(part) for part in version.split(".") if part.isdigit())


def find_bindir() -> str:
    """Directory holding initdb, pg_ctl and postgres of one installation."""
    candidates = []
    on_path = shutil.which("pg_ctl")
    if on_path:
        candidates.append(os.path.dirname(os.path.realpath(on_path)))
    # Debian's layout, newest major first (numerically: 9.6 is older than 10).
    candidates += sorted(glob.glob("/usr/lib/postgresql/*/bin"), key=_major, reverse=True)
    for bindir in candidates:
        if all(os.access(os.path.join(bindir, tool), os.X_OK)
               for tool in ("initdb", "pg_ctl", "postgres")):
            return bindir
    raise EmbeddedPostgresError("PostgreSQL server binaries not found (install the postgresql package)")


def server_os_user() -> str:
    """initdb and postgres refuse to run as root: use an unprivileged account then."""
    if os.geteuid() != 0:
        return pwd.getpwuid(os.geteuid()).pw_name
    for name in ("postgres", FALLBACK_OS_USER):
        with contextlib.suppress(KeyError):
            pwd.getpwnam(name)
            return name
    subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                    FALLBACK_OS_USER], check=True)
    return FALLBACK_OS_USER


def as_user(os_user: str, argv: list[str]) -> list[str]:
    if os.geteuid() == 0:
        return ["runuser", "-u", os_user, "--", *argv]
    return argv


def run(argv: list[str], what: str, cwd: str | None = None) -> str:
    # cwd matters under runuser: the server account may not enter the caller's directory.
    done = subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise EmbeddedPostgresError(f"{what} failed ({done.returncode}): "
                                    f"{done.stderr.strip() or done.stdout.strip()}")
    return done.stdout


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def log_path(data_dir: str) -> str:
    return os.path.join(os.path.dirname(data_dir), "postgres.log")


def control_server(env: Mapping[str, str], action: str, *extra: str) -> str:
    """Run pg_ctl (start, stop, restart, status...) on a cluster started here.

    The log file is passed again so a restarted server never writes to our pipes.
    """
    data_dir = env["NELVOR_PG_DATA"]
    argv = [env["NELVOR_PG_CTL"], "-D", data_dir, "-w", "-t", "60"]
    if action in ("start", "restart"):
        argv += ["-l", log_path(data_dir)]
    argv += [action, *extra]
    return run(as_user(env["NELVOR_PG_OS_USER"], argv), f"pg_ctl {action}",
               cwd=os.path.dirname(data_dir))


def libpq_env(env: Mapping[str, str]) -> dict[str, str]:
    """The same server as PGHOST & co., for psql and other libpq tools."""
    return {LIBPQ_NAMES[field]: env[f"POSTGRES_{field}"]
            for field in CONNECTION_FIELDS if env.get(f"POSTGRES_{field}")}


def with_state_variables(env: dict[str, str]) -> dict[str, str]:
    for field in CONNECTION_FIELDS:
        value = env.get(f"POSTGRES_{field}")
        if value and not env.get(f"POSTGRES_STATE_{field}"):
            env[f"POSTGRES_STATE_{field}"] = value
    return env


def existing_server_env(environ: Mapping[str, str]) -> dict[str, str]:
    env = {f"POSTGRES_{f}": environ[f"POSTGRES_{f}"]
           for f in CONNECTION_FIELDS if environ.get(f"POSTGRES_{f}")}
    env.update({f"POSTGRES_STATE_{f}": environ[f"POSTGRES_STATE_{f}"]
                for f in CONNECTION_FIELDS if environ.get(f"POSTGRES_STATE_{f}")})
    # Set when an outer run started the cluster: lets the tests restart it.
    env.update({key: environ[key] for key in CONTROL_VARIABLES if environ.get(key)})
    return with_state_variables(env)


def wait_until_ready(bindir: str, port: int, timeout: float = 60.0) -> None:
    deadline = time.monotonic() + timeout
    argv = [os.path.join(bindir, "pg_isready"), "-q", "-h", "127.0.0.1", "-p", str(port),
            "-U", SUPERUSER, "-d", "postgres"]
    while subprocess.run(argv, stdin=subprocess.DEVNULL).returncode != 0:
        if time.monotonic() > deadline:
            raise EmbeddedPostgresError(f"server on port {port} not ready after {timeout:.0f}s")
        time.sleep(0.1)


def init_cluster(bindir: str, os_user: str, root: str) -> str:
    data_dir = os.path.join(root, "data")
    run(as_user(os_user, [os.path.join(bindir, "initdb"), "-D", data_dir, "-U", SUPERUSER,
                          "--auth=trust", "-E", "UTF8", "--locale=C", "--no-sync"]),
        "initdb", cwd=root)
    return data_dir


def configure(data_dir: str, port: int, socket_dir: str) -> None:
    settings = {**FAST_SETTINGS, "listen_addresses": "'127.0.0.1'", "port": str(port),
                "unix_socket_directories": f"'{socket_dir}'"}
    # Written into the configuration (not pg_ctl -o) so that a restart keeps the port.
    with open(os.path.join(data_dir, "postgresql.conf"), "a", encoding="utf-8") as conf:
        conf.write("\n# throwaway test cluster\n")
        conf.writelines(f"{key} = {value}\n" for key, value in settings.items())


def start_with_free_port(env: dict[str, str], bindir: str, attempts: int = 3) -> int:
    # Another process may grab the probed port before the server binds it: retry.
    for attempt in range(attempts):
        port = free_port()
        configure(env["NELVOR_PG_DATA"], port, os.path.dirname(env["NELVOR_PG_DATA"]))
        try:
            control_server(env, "start")
            wait_until_ready(bindir, port)
            return port
        except EmbeddedPostgresError:
            if attempt == attempts - 1:
                with open(log_path(env["NELVOR_PG_DATA"]), encoding="utf-8",
                          errors="replace") as log:
                    sys.stderr.write(log.read()[-4000:])
                raise
    raise AssertionError("unreachable")


def stop_and_remove(env: Mapping[str, str], root: str) -> None:
    with contextlib.suppress(EmbeddedPostgresError, FileNotFoundError):
        control_server(env, "stop", "-m", "immediate")
    pid_file = os.path.join(env["NELVOR_PG_DATA"], "postmaster.pid")
    with contextlib.suppress(OSError, ValueError):  # pg_ctl failed: do not leave it running
        with open(pid_file, encoding="ascii") as pids:
            os.kill(int(pids.readline()), signal.SIGKILL)
    shutil.rmtree(root, ignore_errors=True)


@contextlib.contextmanager
def embedded_postgres(environ: Mapping[str, str] | None = None) -> Iterator[dict[str, str]]:
    """Yield the connection variables of a fresh cluster, or of the server already configured."""
    environ = os.environ if environ is None else environ
    if environ.get("POSTGRES_HOST"):
        yield existing_server_env(environ)
        return
    bindir = find_bindir()
    os_user = server_os_user()
    # Under root the server account must reach the folder: keep it in the shared /tmp.
    root = tempfile.mkdtemp(prefix="nelvor-pg-", dir="/tmp" if os.geteuid() == 0 else None)
    env = {"NELVOR_PG_DATA": os.path.join(root, "data"),
           "NELVOR_PG_CTL": os.path.join(bindir, "pg_ctl"), "NELVOR_PG_OS_USER": os_user}
    try:
        if os.geteuid() == 0:
            shutil.chown(root, user=os_user)
        init_cluster(bindir, os_user, root)
        port = start_with_free_port(env, bindir)
        env.update({"POSTGRES_HOST": "127.0.0.1", "POSTGRES_PORT": str(port),
                    "POSTGRES_USER": SUPERUSER, "POSTGRES_DATABASE": DATABASE})
        run([os.path.join(bindir, "psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1",
             "-h", "127.0.0.1", "-p", str(port), "-U", SUPERUSER, "-d", "postgres",
             "-c", f'CREATE DATABASE "{DATABASE}"'], "create database")
        yield with_state_variables(env)
    finally:
        stop_and_remove(env, root)


def raise_on_termination() -> None:
    """Turn SIGTERM/SIGHUP into an exception so the cluster is still removed."""
    def handler(signum, _frame):
        raise SystemExit(128 + signum)
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, handler)


def run_command(command: list[str], env: Mapping[str, str]) -> int:
    child = subprocess.Popen(command, env={**os.environ, **env, **libpq_env(env)})
    try:
        return child.wait()
    except BaseException:
        # Ctrl-C reached the child too; give it a moment to finish before the server goes.
        with contextlib.suppress(BaseException):
            child.send_signal(signal.SIGINT)
            child.wait(timeout=10)
        if child.poll() is None:
            child.kill()
        raise


def serve(env: Mapping[str, str]) -> int:
    for key, value in {**env, **libpq_env(env)}.items():
        print(f"export {key}={value}")
    print("# serving until Ctrl-C", file=sys.stderr, flush=True)
    with contextlib.suppress(KeyboardInterrupt):
        signal.pause()
    return 0


def main(argv: list[str]) -> int:
    if argv and argv[0] == "--":
        argv = argv[1:]
    elif argv:
        print(__doc__, file=sys.stderr)
        return 2
    raise_on_termination()
    try:
        with embedded_postgres() as env:
            return run_command(argv, env) if argv else serve(env)
    except KeyboardInterrupt:
        return 130
    except EmbeddedPostgresError as error:
        print(f"embedded_pg: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
