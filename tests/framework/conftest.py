"""Framework tests drive the statement mixins through small test connections that run
SQL with psql on the session's server (the shared fixtures in tests/conftest.py)."""
import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from nelvor_data.table_schemas.manager import TableSchemasManager  # noqa: E402


@pytest.fixture(autouse=True)
def empty_registry():
    TableSchemasManager.clear()
    yield
    TableSchemasManager.clear()


@pytest.fixture
def state(database):
    from doubles import StateTestConnection
    return StateTestConnection(database)


@pytest.fixture
def history(database):
    from doubles import HistoryTestConnection
    return HistoryTestConnection(database)
