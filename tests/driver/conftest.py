"""Driver fixtures: the driver as exposed by the historical module, and a
connection to the module's own database on the test server. The connections
run in autocommit, the mode the connection classes use; the tests of PEP 249's
transactions open their own."""
import os

import pytest


@pytest.fixture(scope="session")
def driver():
    from nelvor_data.connections.implementations import ledger_store
    return ledger_store


@pytest.fixture
def connect_params(database):
    """Keyword parameters for the driver's connect(), from POSTGRES_* (the dev
    server when unset)."""
    params = {
        "host": os.environ.get("POSTGRES_HOST") or "127.0.0.1",
        "port": os.environ.get("POSTGRES_PORT") or "55432",
        "user": os.environ.get("POSTGRES_USER") or "postgres",
        "database": database,
    }
    if os.environ.get("POSTGRES_PASSWORD"):
        params["password"] = os.environ["POSTGRES_PASSWORD"]
    return params


@pytest.fixture
def connect_with(driver, connect_params):
    """connect_with(threshold, **params) -> a connection with that prepare_threshold (and
    those connection parameters), closed after the test."""
    opened = []

    def make(threshold=None, **params):
        connection = driver.connect(**{**connect_params, **params}, prepare_threshold=threshold, autocommit=True)
        opened.append(connection)
        return connection
    yield make
    for connection in opened:
        connection.close()


@pytest.fixture
def conn(driver, connect_params):
    connection = driver.connect(**connect_params, autocommit=True)
    yield connection
    connection.close()


@pytest.fixture
def cur(conn):
    return conn.cursor()


@pytest.fixture
def select_one(cur):
    """select_one(sql, params=None) -> the single value of the single row."""
    def run(sql, params=None):
        cur.execute(sql, params)
        (value,) = cur.fetchone()
        return value
    return run
