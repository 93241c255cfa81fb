import os
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from nelvor_data.table_schemas.manager import TableSchemasManager  # noqa: E402
from psql_runner import PsqlError, run_psql  # noqa: E402

DATABASE = os.environ.get("NELVOR_FW_TEST_DB", "fw_framework_test")


@pytest.fixture(autouse=True)
def empty_registry():
    TableSchemasManager.clear()
    yield
    TableSchemasManager.clear()


@pytest.fixture(scope="session")
def database():
    """A freshly created database on the dev server, dropped at the end."""
    if shutil.which("psql") is None:
        pytest.skip("psql client not installed")
    try:
        run_psql("postgres", f'DROP DATABASE IF EXISTS "{DATABASE}"')
        run_psql("postgres", f'CREATE DATABASE "{DATABASE}"')
    except (PsqlError, subprocess.TimeoutExpired) as error:
        pytest.skip(f"PostgreSQL server not reachable: {error}")
    yield DATABASE
    run_psql("postgres", f'DROP DATABASE IF EXISTS "{DATABASE}"')


@pytest.fixture
def state(database):
    from doubles import StateTestConnection
    return StateTestConnection(database)


@pytest.fixture
def history(database):
    from doubles import HistoryTestConnection
    return HistoryTestConnection(database)
