"""Faults of the server and of the caller: a killed backend, a restarted or absent
server, an interrupted or timed-out statement, and calls in the wrong state. After
each, committed data is intact, the open transaction is gone, and the same instance
works again."""
import socket
import time

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from reliability_support import driver_module, keyboard_interrupt_after, store_class, wait_until

INSERT = "INSERT INTO fault_probe VALUES (%s)"


def backend_pid(connection) -> int:
    return connection.execute("SELECT pg_backend_pid()").fetchone()[0]


def commit_one(connection, value: str) -> None:
    connection.begin()
    connection.execute(INSERT, value)
    connection.commit()


def terminate_backend(connection, admin_sql, request=None) -> None:
    pid = backend_pid(connection)
    admin_sql(f"SELECT pg_terminate_backend({pid})")
    wait_until(lambda: not admin_sql(f"SELECT 1 FROM pg_stat_activity WHERE pid = {pid}"),
               what=f"backend {pid} to exit")


def restart_server(connection, admin_sql, request) -> None:
    request.getfixturevalue("pg_server_control")("restart", "-m", "fast")


@pytest.mark.parametrize("fault", [terminate_backend, restart_server], ids=["terminated", "restarted"])
def test_lost_backend_mid_transaction(cls, connection, probe_table, admin_sql, request, fault):
    commit_one(connection, "committed before")
    connection.begin()
    connection.begin()
    connection.execute(INSERT, "open when the backend died")

    fault(connection, admin_sql, request)

    with pytest.raises(NelvorConnectionError, match="^Error executing query: ") as raised:
        connection.execute(INSERT, "after the fault")
    assert isinstance(raised.value.__cause__, driver_module(cls).OperationalError)
    assert probe_table() == ["committed before"]

    # The stack still holds the two levels the caller opened; it unwinds them
    # after reconnecting, where no transaction is open any more.
    assert len(connection._revert_data) == 2 and len(connection._savepoints) == 1
    connection.disconnect()
    connection.connect()
    with pytest.raises(NelvorConnectionError, match="SAVEPOINT"):
        connection.rollback()  # the savepoint died with the old backend
    connection.rollback()
    assert connection._revert_data == [] and connection._savepoints == []
    commit_one(connection, "after reconnecting")
    assert probe_table() == ["after reconnecting", "committed before"]


def test_rollback_on_a_dead_backend_fails_but_unwinds_the_level(cls, connection, probe_table, admin_sql):
    connection.begin()
    connection.execute(INSERT, "lost")
    terminate_backend(connection, admin_sql)
    with pytest.raises(NelvorConnectionError) as raised:
        connection.rollback()
    assert isinstance(raised.value.__cause__, driver_module(cls).OperationalError)
    assert connection._revert_data == []
    connection.disconnect()
    connection.connect()
    commit_one(connection, "kept")
    assert probe_table() == ["kept"]


def unused_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def test_connecting_to_no_server_passes_the_driver_error(cls, database):
    instance = cls()
    with pytest.raises(driver_module(cls).OperationalError) as raised:
        instance.connect(host="127.0.0.1", port=str(unused_port()), connect_timeout="5")
    assert type(raised.value) is driver_module(cls).OperationalError  # not wrapped
    assert instance._connection is None
    instance.connect()
    assert instance.execute("SELECT 1").fetchone() == (1,)
    instance.disconnect()


def test_connect_succeeds_once_the_stopped_server_is_back(database, pg_server_control):
    instances = [store_class(kind)() for kind in ("historical", "state")]
    pg_server_control("stop", "-m", "fast")
    try:
        for instance in instances:
            with pytest.raises(driver_module(type(instance)).OperationalError):
                instance.connect(connect_timeout="5")
            assert instance._connection is None
    finally:
        pg_server_control("start")
    for instance in instances:
        instance.connect()
        assert instance.execute("SELECT 2").fetchone() == (2,)
        instance.disconnect()


def running_sleeps(admin_sql, marker: str) -> list:
    return admin_sql("SELECT pid FROM pg_stat_activity "
                     f"WHERE query LIKE '%{marker}%' AND state = 'active' AND pid <> pg_backend_pid()")


@pytest.mark.parametrize("in_transaction", [True, False], ids=["in-transaction", "autocommit"])
def test_keyboard_interrupt_cancels_the_statement_on_the_server(connection, admin_sql, in_transaction):
    marker = f"interrupt_probe_{int(in_transaction)}"
    if in_transaction:
        connection.begin()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt), keyboard_interrupt_after(0.3):
        connection.execute(f"SELECT pg_sleep(30) AS {marker}")
    assert time.monotonic() - started < 3
    # The server stopped working on it: the cancel request reached it.
    assert running_sleeps(admin_sql, marker) == []
    if in_transaction:
        with pytest.raises(NelvorConnectionError) as raised:
            connection.execute("SELECT 1")
        assert "transaction is aborted" in str(raised.value.__cause__)
        connection.rollback()
    assert connection.execute("SELECT %s", "usable").fetchone() == ("usable",)


def test_statement_timeout_from_connect_options(cls, open_connection):
    connection = open_connection(cls, options="-c statement_timeout=200")
    connection.begin()
    started = time.monotonic()
    with pytest.raises(NelvorConnectionError, match="pg_sleep") as raised:
        connection.execute("SELECT pg_sleep(10)")
    assert time.monotonic() - started < 3
    cause = raised.value.__cause__
    assert isinstance(cause, driver_module(cls).QueryCanceledError) and cause.sqlstate == "57014"
    assert "statement timeout" in str(cause)
    connection.rollback()
    assert connection.execute("SELECT pg_sleep(0.01)::text").fetchone() == ("",)


def test_misuse_changes_nothing(cls, connection, probe_table):
    connection.begin()
    connection.execute(INSERT, "pending")
    driver_connection = connection._connection
    with pytest.raises(NelvorConnectionError, match="^Connection already established$"):
        connection.connect()
    assert connection._connection is driver_connection
    connection.commit()
    with pytest.raises(IndexError):
        connection.commit()
    with pytest.raises(IndexError):
        connection.rollback()
    assert probe_table() == ["pending"]

    connection.disconnect()
    for misuse in (connection.disconnect, lambda: connection.execute(INSERT, "unconnected")):
        with pytest.raises(NelvorConnectionError, match="^Connection not established$"):
            misuse()
    assert connection._revert_data == [] and connection._savepoints == [] and connection._connection is None
    assert probe_table() == ["pending"]
