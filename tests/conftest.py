"""Shared test set-up: one PostgreSQL server per session, a fresh database per module.

Plain `pytest` starts a throwaway cluster itself unless POSTGRES_HOST names a server
(scripts/test.sh starts it outside and sets POSTGRES_*; then it is used as is).
"""
from __future__ import annotations

import contextlib
import os
import re
import shutil
import subprocess
import sys
import uuid
from collections.abc import Callable, Iterator
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "scripts"))
import embedded_pg  # noqa: E402

_SESSION_STACK = pytest.StashKey[contextlib.ExitStack]()
_SERVER_ENV = pytest.StashKey[dict]()

# psql's unaligned output with separators that do not occur in test data.
_FIELD_SEPARATOR, _RECORD_SEPARATOR, _NULL_MARK = "\x1f", "\x1e", "\x1a"

CONNECTION_VARIABLES = tuple(
    f"POSTGRES_{group}{field}"
    for group in ("", "STATE_") for field in embedded_pg.CONNECTION_FIELDS)


class AdminSqlError(RuntimeError):
    pass


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--soak", action="store_true", default=False,
                     help="also run the long (soak) variants of the tests")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line("markers", "slow: takes long; deselect with -m 'not slow'")


def pytest_sessionstart(session: pytest.Session) -> None:
    stack = contextlib.ExitStack()
    try:
        env = stack.enter_context(embedded_pg.embedded_postgres())
    except embedded_pg.EmbeddedPostgresError as error:
        pytest.exit(f"cannot start PostgreSQL for the tests: {error}", returncode=3)
    patch = stack.enter_context(pytest.MonkeyPatch.context())
    for key, value in {**env, **embedded_pg.libpq_env(env)}.items():
        patch.setenv(key, value)
    session.config.stash[_SESSION_STACK] = stack
    session.config.stash[_SERVER_ENV] = dict(env)


def pytest_sessionfinish(session: pytest.Session) -> None:
    stack = session.config.stash.get(_SESSION_STACK, None)
    if stack is not None:
        stack.close()  # environment restored first, then the cluster removed


@pytest.fixture(scope="session")
def pg_env(pytestconfig: pytest.Config) -> dict[str, str]:
    """The session's server as connection variables (POSTGRES_*, POSTGRES_STATE_*,
    and NELVOR_PG_* when this run started the cluster)."""
    return dict(pytestconfig.stash[_SERVER_ENV])


@pytest.fixture(scope="session")
def soak(pytestconfig: pytest.Config) -> bool:
    """True with --soak: tests may then run their long variants."""
    return pytestconfig.getoption("--soak")


def _psql_path() -> str:
    found = shutil.which("psql")
    return found or os.path.join(embedded_pg.find_bindir(), "psql")


@pytest.fixture(scope="session")
def admin_sql(pg_env: dict[str, str]) -> Callable[..., list[tuple]]:
    """admin_sql(sql, database=None) runs SQL as the superuser through psql, independent
    of the code under test. Default database: the current POSTGRES_DATABASE (the
    module's own one inside a test that uses `database`). Returns the rows of the
    last result as tuples of text, NULL as None."""
    psql = _psql_path()

    def run_sql(sql: str, database: str | None = None) -> list[tuple]:
        target = database or os.environ.get("POSTGRES_DATABASE") or pg_env["POSTGRES_DATABASE"]
        argv = [psql, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
                "-F", _FIELD_SEPARATOR, "-R", _RECORD_SEPARATOR, "-P", f"null={_NULL_MARK}",
                "-h", pg_env["POSTGRES_HOST"], "-p", pg_env.get("POSTGRES_PORT", "5432"),
                "-d", target, "-c", sql]
        if pg_env.get("POSTGRES_USER"):
            argv += ["-U", pg_env["POSTGRES_USER"]]
        child_env = {**os.environ, "PGPASSWORD": pg_env.get("POSTGRES_PASSWORD", "")}
        done = subprocess.run(argv, env=child_env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL)
        if done.returncode != 0:
            raise AdminSqlError(f"psql failed on {sql!r}: {done.stderr.strip()}")
        output = done.stdout.removesuffix("\n")
        if not output:
            return []
        return [tuple(None if value == _NULL_MARK else value
                      for value in record.split(_FIELD_SEPARATOR))
                for record in output.split(_RECORD_SEPARATOR)]

    return run_sql


def unique_database_name(module_name: str) -> str:
    stem = re.sub(r"[^a-z0-9_]", "_", module_name.rsplit(".", 1)[-1].lower())
    return f"nelvor_t_{stem[:40]}_{uuid.uuid4().hex[:8]}"


@pytest.fixture(scope="module")
def database(request: pytest.FixtureRequest, admin_sql, pg_env: dict[str, str]) -> str:
    """A fresh database for the module's tests; POSTGRES_DATABASE and
    POSTGRES_STATE_DATABASE name it until the module ends, then it is dropped.
    Both connection classes are assumed to use one server, as the throwaway one does."""
    name = unique_database_name(request.module.__name__)
    maintenance_db = pg_env["POSTGRES_DATABASE"]
    admin_sql(f'CREATE DATABASE "{name}"', database=maintenance_db)
    with pytest.MonkeyPatch.context() as patch:
        for variable in ("POSTGRES_DATABASE", "POSTGRES_STATE_DATABASE", "PGDATABASE"):
            patch.setenv(variable, name)
        yield name
    # FORCE: a test that forgot to disconnect must not keep the database alive.
    admin_sql(f'DROP DATABASE IF EXISTS "{name}" WITH (FORCE)', database=maintenance_db)


@pytest.fixture
def open_connection(database) -> Iterator[Callable[..., object]]:
    """open_connection(cls, **connect_kwargs) -> a connected instance, disconnected
    after the test whatever state it was left in."""
    opened = []

    def make(connection_class: type, **kwargs):
        instance = connection_class()
        instance.connect(**kwargs)
        opened.append(instance)
        return instance

    yield make
    for instance in opened:
        if instance._connection is not None:
            with contextlib.suppress(Exception):
                instance.disconnect()


@pytest.fixture
def no_connection_env(monkeypatch: pytest.MonkeyPatch) -> None:
    """Removes every POSTGRES_* and PG* connection variable for one test."""
    for variable in (*CONNECTION_VARIABLES, *embedded_pg.LIBPQ_NAMES.values()):
        monkeypatch.delenv(variable, raising=False)


@pytest.fixture(scope="session")
def pg_server_control(pg_env: dict[str, str]) -> Callable[..., str]:
    """pg_server_control("restart" | "stop" | "start", *pg_ctl_args) on the
    throwaway cluster; skips the test when the server was not started by this run."""
    if not pg_env.get("NELVOR_PG_DATA"):
        pytest.skip("the server was not started by this test run")
    return lambda action, *extra: embedded_pg.control_server(pg_env, action, *extra)


def _clear_schema_registry() -> None:
    try:
        from nelvor_data.table_schemas.manager import TableSchemasManager
    except ImportError:
        return
    clear = getattr(TableSchemasManager, "clear", None)
    if callable(clear):
        clear()


@pytest.fixture(scope="module", autouse=True)
def _fresh_schema_registry():
    """Tables registered by one module must not leak into the next one's database."""
    _clear_schema_registry()
    yield
    _clear_schema_registry()
