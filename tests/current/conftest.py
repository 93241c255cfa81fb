"""A fresh state connection per test on the module's database, and the test table."""
import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from nelvor_data.connections.implementations.current_store import PostgresStateConnection  # noqa: E402
from state_tables import create_table  # noqa: E402


@pytest.fixture
def connect(database):
    opened = []

    def open_connection(**options):
        instance = PostgresStateConnection(**options)
        instance.connect()
        opened.append(instance)
        return instance

    yield open_connection
    for instance in opened:
        if instance._connection is not None:
            instance.disconnect()


@pytest.fixture
def connection(connect):
    return connect()


@pytest.fixture
def table(connection):
    return create_table(connection)
