"""revert: compensating writes for the innermost transaction level, newest first."""
import pytest

from nelvor_data.connections.enums import ModifyOperation
from nelvor_data.connections.errors import NelvorConnectionError

from state_tables import address, table_snapshot

SEED = {"s1": {"name": "one", "n": 1, "r": 0.25, "ok": True, "data": {"tags": ["a", "b"], "deep": {"v": 1}}},
        "s2": {"name": "two", "n": 2, "data": "2"},
        "s3": {"name": "three", "ok": False, "data": [1, {"x": None}]}}


@pytest.fixture
def seeded(connection, table):
    connection.begin()
    connection.bulk_insert([(address(key), record) for key, record in SEED.items()])
    connection.commit()
    return table


def outer_writes(connection):
    connection.insert(address("new"), {"name": "new", "data": {"k": "v"}})
    connection.update(address("s1"), {"name": "changed", "data": {"changed": True}, "r": 9.5})
    connection.update(address("s1"), {"n": 100})
    connection.delete(address("s2"))
    connection.bulk_insert([(address("b1"), {"n": 7}), (address("b2"), {"data": "x"})])
    connection.bulk_delete([address("s3"), address("b1")])
    connection.update(address("new"), {"ok": True})


def inner_writes(connection):
    connection.insert(address("s2"), {"name": "again"})
    connection.update(address("new"), {"name": "inner", "data": [1, 2]})
    connection.bulk_delete([address("b2"), address("s1")])
    connection.insert(address("s1"), {"name": "reborn"})


def test_revert_restores_each_level_exactly(connection, seeded):
    committed = table_snapshot(connection, seeded)
    connection.begin()
    outer_writes(connection)
    after_outer = table_snapshot(connection, seeded)
    assert after_outer != committed
    connection.begin()
    inner_writes(connection)
    assert table_snapshot(connection, seeded) != after_outer
    connection.revert()
    assert table_snapshot(connection, seeded) == after_outer
    assert len(connection._revert_data) == 1 and connection._is_revert_enabled is True
    connection.revert()
    assert table_snapshot(connection, seeded) == committed
    assert connection._revert_data == []


def test_replay_runs_newest_first(connection, seeded):
    connection.begin()
    connection.insert(address("x"), {"n": 1})
    connection.update(address("x"), {"n": 2})
    connection.delete(address("x"))
    connection.update(address("s1"), {"n": 10})
    connection.update(address("s1"), {"n": 20})
    connection.revert()
    # Oldest first would leave x re-inserted and s1 at 10.
    assert connection.count(address(), None) == 3
    assert [r["n"] for r in connection.query(address()) if r["partition_key"] == "s1"] == [1]


def test_an_inner_commit_hands_its_writes_to_the_outer_level(connection, seeded):
    committed = table_snapshot(connection, seeded)
    connection.begin()
    connection.update(address("s2"), {"name": "outer"})
    connection.begin()
    connection.delete(address("s3"))
    connection.commit()
    assert [entry[0] for entry in connection._revert_data[0]] == [ModifyOperation.UPDATE, ModifyOperation.DELETE]
    connection.revert()
    assert table_snapshot(connection, seeded) == committed


def test_bulk_update_is_not_undone(connection, seeded):
    connection.begin()
    connection.bulk_update([(address("s1"), {"n": 5})])
    connection.update(address("s2"), {"n": 6})
    connection.revert()
    assert {r["partition_key"]: r["n"] for r in connection.query(address())} == {"s1": 5, "s2": 2, "s3": None}


def test_revert_of_an_empty_level_only_drops_it(connection, seeded):
    connection.begin()
    connection.begin()
    connection.revert()
    assert connection._revert_data == [[]] and connection._is_revert_enabled is True


def test_revert_refused_when_unsupported(connect, table):
    connection = connect(is_revert_supported=False)
    connection.begin()
    with pytest.raises(NelvorConnectionError, match="^Revert is not supported$"):
        connection.revert()
    assert connection._revert_data == [[]]


def test_a_failing_compensating_write_stops_the_revert(connection, seeded):
    connection.begin()
    connection.insert(address("x"), {"n": 1})
    connection.delete(address("s1"))
    connection.execute('INSERT INTO "item_v_1" (partition_key) VALUES (%s)', "s1")  # blocks the re-insert
    with pytest.raises(NelvorConnectionError, match="^Error executing query: INSERT"):
        connection.revert()
    assert connection._is_revert_enabled is False and len(connection._revert_data[-1]) == 2


def test_after_reverting_a_savepoint_level_rollback_ends_the_enclosing_transaction(connection, seeded):
    committed = table_snapshot(connection, seeded)
    connection.begin()
    connection.begin()
    connection.insert(address("x"), {"n": 1})
    connection.revert()
    assert connection._revert_data == [[]] and connection._savepoints == []
    connection.rollback()  # the outer level's ROLLBACK, not one to the undone savepoint
    # Outside a transaction each statement runs in one of its own.
    ids = [connection.execute("SELECT txid_current()").fetchone()[0] for _ in range(2)]
    assert ids[0] != ids[1] and table_snapshot(connection, seeded) == committed
