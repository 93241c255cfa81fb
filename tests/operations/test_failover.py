"""Failover: a primary with a synchronous hot standby, both classes connected through
a multi-host setting with target_session_attrs=read-write. Under a steady stream of
two-row transactions from both classes the primary is stopped hard and the standby
promoted: the failing call raises NelvorConnectionError, the caller's
disconnect() + connect() reaches the new primary, every acknowledged commit is there,
no transaction is half there, and the transaction stack starts empty."""
from __future__ import annotations

import threading
import time

import pytest

from clusters import clone_standby, init_primary, require_synchronous_standby, wait_for
from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_utils.models.data_models.address import Address
from store_setup import create_class_tables

DATABASE = "nelvor"
HISTORICAL_CLASS, STATE_CLASS = "Tick", "Tock"  # tables tick_v_1 and tock_v_1
FIELDS = {"n": "integer", "note": "text"}
COMMITS_BEFORE_LOSS = 25
RECONNECT_DEADLINE = 60.0
COMMITS_AFTER = 5

# With a synchronous standby a commit returns only once the standby has the commit
# record: an acknowledged transaction survives the primary.
PRIMARY_SETTINGS = {"synchronous_commit": "on", "wal_level": "replica"}
STANDBY_SETTINGS = {"hot_standby": "on"}

pytestmark = pytest.mark.slow


@pytest.fixture(scope="module")
def pair(make_cluster):
    primary = init_primary(make_cluster())
    primary.start(PRIMARY_SETTINGS)
    primary.sql(f'CREATE DATABASE "{DATABASE}"')
    standby = clone_standby(primary, make_cluster())
    standby.start(STANDBY_SETTINGS)
    require_synchronous_standby(primary)
    return primary, standby


def address(class_name: str, object_id: str, object_version: str = "1") -> Address:
    return Address(class_name=class_name, class_version="1", object_id=object_id, object_version=object_version)


def write_historical(connection, number: int) -> None:
    """One object version and its metadata row: two tables."""
    object_id = f"h{number}"
    connection.put(address(HISTORICAL_CLASS, object_id), {"n": number, "note": "version"})
    connection.put(Address(class_name="metadata", object_id=object_id, object_version="1"),
                   {"address": {"class_name": HISTORICAL_CLASS, "class_version": "1", "object_id": object_id,
                                "object_version": "1"}, "prior_version": None, "is_deleted": False})


def write_state(connection, number: int) -> None:
    connection.insert(address(STATE_CLASS, f"s{number}a"), {"n": number, "note": "first"})
    connection.insert(address(STATE_CLASS, f"s{number}b"), {"n": number, "note": "second"})


class Writer(threading.Thread):
    """Commits numbered two-row transactions; after a failure it unwinds its levels,
    reconnects until a server takes writes, and stops a few commits later (or when
    told to, should the test give up)."""

    def __init__(self, connection_class: type, write, stop: threading.Event) -> None:
        super().__init__(daemon=True, name=connection_class.__name__)
        self.connection = connection_class()
        self.write = write
        self.stop = stop
        self.acknowledged: list[int] = []
        self.failures: list[BaseException] = []
        self.stack_after_reconnect: tuple | None = None
        self.server_after_reconnect: tuple | None = None
        self.recovered_at: float | None = None
        self.commits_after_failure = 0
        self.error: BaseException | None = None

    def run(self) -> None:
        try:
            self.connection.connect()
            self.connection.prepare_connection()
            number = 0
            while self.commits_after_failure < COMMITS_AFTER and not self.stop.is_set():
                number += 1
                try:
                    self.connection.begin()
                    self.write(self.connection, number)
                    self.connection.commit()
                except NelvorConnectionError as failure:
                    self.failures.append(failure)
                    self.reconnect()
                    continue
                self.acknowledged.append(number)
                if self.failures:
                    self.commits_after_failure += 1
                    if self.recovered_at is None:
                        self.recovered_at = time.monotonic()
        except BaseException as error:  # reported by the test
            self.error = error
        finally:
            if self.connection._connection is not None:
                self.connection.disconnect()

    def reconnect(self) -> None:
        # disconnect and connect leave the stack as it is: the caller unwinds its
        # levels, each rollback failing on the dead session but popping its level.
        while self.connection._revert_data:
            try:
                self.connection.rollback()
            except NelvorConnectionError:
                pass
        self.connection.disconnect()
        deadline = time.monotonic() + RECONNECT_DEADLINE
        while True:
            try:
                self.connection.connect()
                break
            except Exception:  # the driver's OperationalError: no server takes writes yet
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.stack_after_reconnect = (list(self.connection._revert_data), list(self.connection._savepoints))
        self.server_after_reconnect = self.connection.execute(
            "SELECT inet_server_port(), pg_is_in_recovery()").fetchone()


def committed(cluster, statement: str) -> list[str]:
    return sorted(row[0] for row in cluster.sql(statement, database=DATABASE))


def test_failover_to_the_promoted_standby(pair, point_classes, record_property, capsys):
    primary, standby = pair
    point_classes({"HOST": "127.0.0.1,127.0.0.1", "PORT": f"{primary.port},{standby.port}",
                   "USER": "postgres", "DATABASE": DATABASE},
                  PGTARGETSESSIONATTRS="read-write", PGCONNECT_TIMEOUT="5")
    create_class_tables(HISTORICAL_CLASS, STATE_CLASS, FIELDS)

    stop = threading.Event()
    writers = [Writer(PostgresImmutableConnection, write_historical, stop),
               Writer(PostgresStateConnection, write_state, stop)]
    for writer in writers:
        writer.start()
    wait_for(lambda: all(len(w.acknowledged) >= COMMITS_BEFORE_LOSS or w.error for w in writers),
             timeout=60, what="commits on the primary")

    lost_at = time.monotonic()
    primary.ctl("stop", "-m", "immediate")
    standby.ctl("promote")
    promoted_at = time.monotonic()
    for writer in writers:
        writer.join(timeout=RECONNECT_DEADLINE + 30)
    stop.set()
    for writer in writers:
        assert not writer.is_alive(), f"{writer.name} did not finish"
        assert writer.error is None, f"{writer.name}: {writer.error!r}"

    for writer in writers:
        # The call in flight at the loss fails with the class's error, the driver's below it.
        assert writer.failures, f"{writer.name} saw no failure"
        first = writer.failures[0]
        assert type(first) is NelvorConnectionError
        assert type(first.__cause__).__name__ == "OperationalError"
        assert writer.stack_after_reconnect == ([], [])
        assert writer.server_after_reconnect == (standby.port, False)
        assert writer.recovered_at is not None

    historical, state = writers
    versions = committed(standby, 'SELECT partition_key FROM "tick_v_1"')
    assert versions == committed(standby, "SELECT object_id FROM metadata")  # never one without the other
    assert {f"h{n}" for n in historical.acknowledged} <= set(versions)
    pairs = committed(standby, 'SELECT n::text FROM "tock_v_1" GROUP BY n HAVING count(*) = 2')
    assert committed(standby, 'SELECT DISTINCT n::text FROM "tock_v_1"') == pairs  # no half transaction
    assert {str(n) for n in state.acknowledged} <= set(pairs)

    report = {writer.name: round(writer.recovered_at - lost_at, 2) for writer in writers}
    record_property("seconds_from_loss_to_commit", report)
    with capsys.disabled():
        print(f"\nfailover: promotion took {promoted_at - lost_at:.2f}s; "
              f"first commit after the loss: {report}")
