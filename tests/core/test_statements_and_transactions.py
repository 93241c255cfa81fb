"""execute, the transaction stack and the revert levels that follow it."""
import random
import re

import pytest

from nelvor_data.connections.errors import NelvorConnectionError


@pytest.fixture
def table(connection):
    connection.execute("CREATE TABLE IF NOT EXISTS tx_probe (v integer)")
    connection.execute("TRUNCATE tx_probe")
    return "tx_probe"


def values(connection, table):
    return sorted(row[0] for row in connection.execute(f"SELECT v FROM {table}").fetchall())


def test_execute_requires_text_and_a_connection(store):
    _, cls, _ = store
    instance = cls()
    with pytest.raises(TypeError, match="query"):
        instance.execute(b"SELECT 1")
    with pytest.raises(NelvorConnectionError, match="^Connection not established$"):
        instance.execute("SELECT 1")


@pytest.mark.parametrize("args, printed", [((), "()"), ((5,), "(5,)"), ((5, "a"), "(5, 'a')")])
def test_failing_statement_is_wrapped_with_its_text_and_arguments(connection, store, args, printed):
    module, _, _ = store
    query = "SELECT no_such_column" + ", %s" * len(args)
    with pytest.raises(NelvorConnectionError) as caught:
        connection.execute(query, *args)
    assert str(caught.value) == f"Error executing query: {query} with args: {printed}"
    assert isinstance(caught.value.__cause__, module.ProgrammingError)


def test_rendering_failure_is_wrapped_too(connection, store):
    module, _, _ = store
    with pytest.raises(NelvorConnectionError, match="with args: \\('a\\\\x00b',\\)") as caught:
        connection.execute("SELECT %s", "a\x00b")
    assert isinstance(caught.value.__cause__, module.Error)


def test_statements_outside_a_transaction_are_kept(store, database, table, connection):
    connection.execute(f"INSERT INTO {table} VALUES (%s)", 1)
    connection.disconnect()
    connection.connect()
    assert values(connection, table) == [1]


def test_nested_commit_keeps_the_savepoint_and_merges_revert_entries(connection, table):
    connection.begin()
    connection._revert_data[-1].append("outer")
    connection.begin()
    assert len(connection._savepoints) == 1 and re.fullmatch(r"[A-Za-z]{10}", connection._savepoints[0])
    name = connection._savepoints[0]
    connection.execute(f"INSERT INTO {table} VALUES (1)")
    connection._revert_data[-1].extend(["inner1", "inner2"])
    connection.commit()
    assert connection._revert_data == [["outer", "inner1", "inner2"]] and connection._savepoints == []
    # No RELEASE was sent: the savepoint still exists inside the open transaction.
    connection.execute(f"ROLLBACK TO SAVEPOINT {name}")
    assert values(connection, table) == []
    connection.commit()
    assert connection._revert_data == []


def test_inner_rollback_undoes_only_its_level(connection, table):
    connection.begin()
    connection.execute(f"INSERT INTO {table} VALUES (1)")
    connection.begin()
    connection.begin()
    first, second = connection._savepoints
    assert first != second
    connection.execute(f"INSERT INTO {table} VALUES (3)")
    connection._revert_data[-1].append("dropped")
    connection.rollback()
    assert connection._savepoints == [first] and connection._revert_data == [[], []]
    connection.execute(f"INSERT INTO {table} VALUES (2)")
    connection.commit()
    connection.commit()
    assert values(connection, table) == [1, 2]


def test_outer_rollback_discards_everything(connection, table):
    connection.begin()
    connection.execute(f"INSERT INTO {table} VALUES (1)")
    connection.rollback()
    assert values(connection, table) == [] and connection._revert_data == []


def test_commit_or_rollback_without_a_level_changes_nothing(connection):
    for operation in (connection.commit, connection.rollback):
        with pytest.raises(IndexError):
            operation()
    assert connection._revert_data == [] and connection._savepoints == []


def test_begin_unconnected_fails_after_pushing_the_level(store):
    _, cls, _ = store
    instance = cls()
    with pytest.raises(NelvorConnectionError, match="^Connection not established$"):
        instance.begin()
    assert instance._revert_data == [[]]


def test_on_transaction_complete_clears_the_log_only(connection):
    connection.begin()
    connection.begin()
    connection._revert_data[0].append("entry")
    connection.on_transaction_complete()
    assert connection._revert_data == [] and len(connection._savepoints) == 1
    connection.execute("ROLLBACK")


def test_savepoint_names_follow_the_process_random_generator(connection):
    random.seed(7)
    first = connection._savepoint_name()
    random.seed(7)
    assert connection._savepoint_name() == first
    assert re.fullmatch(r"[A-Za-z]{10}", first)



def test_write_outside_begin_is_visible_to_another_connection_at_once(store, connection, table):
    # The classes' driver connection runs in autocommit: nothing waits for a COMMIT.
    module, _, _ = store
    assert connection._connection.autocommit is True
    connection.execute(f"INSERT INTO {table} VALUES (%s)", 7)
    other = module.connect()
    try:
        cursor = other.cursor()
        cursor.execute(f"SELECT v FROM {table}")
        assert cursor.fetchall() == [(7,)]
    finally:
        other.close()


def test_the_classes_refuse_to_connect_without_autocommit(store, database):
    module, cls, _ = store
    instance = cls()
    with pytest.raises(module.ProgrammingError, match="autocommit"):
        instance.connect(autocommit=False)
    assert instance._connection is None
    instance.connect(autocommit=True)
    instance.disconnect()


@pytest.mark.parametrize("rows, text, params", [
    ([{"a": 1}, {"a": 2, "b": 3}], 'INSERT INTO "t" ("a", "b") VALUES (%s, %s), (%s, %s)', (1, None, 2, 3)),
    ([{}, {}], 'INSERT INTO "t" () VALUES (), ()', ()),
])
def test_bulk_insert_statement_has_one_row_group_per_record(connection, rows, text, params):
    assert connection._build_bulk_insert_statement("t", rows) == (text, params)
