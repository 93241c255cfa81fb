"""put, bulk_put, _delete and revert against the server."""
import copy
import gc
import weakref

import pytest

from history_data import PERSON_COLUMNS, PERSON_FIELDS, metadata_address, metadata_record, person, write_version
from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.utils import Q

LOGGED_TABLES = ("person_v_1", "thing_v_1", "metadata", "reference")


@pytest.fixture(scope="module")
def tables(ledger):
    service = ledger.table_schema_manager
    service.create_table("Person", "1", PERSON_FIELDS, columns=PERSON_COLUMNS)
    service.create_table("Thing", "1", {"label": "text"})
    ledger.execute('CREATE TABLE "reference" (partition_key text, target text)')
    # Every deleted row, in deletion order, to see what revert undoes and when.
    ledger.execute("CREATE TABLE deletions (seq serial, table_name text, object_id text, object_version text)")
    keys = {"metadata": ("object_id", "object_version"), "reference": ("partition_key", "NULL")}
    for table in LOGGED_TABLES:
        object_id, object_version = keys.get(table, ("partition_key", "range_key"))
        version = "NULL" if object_version == "NULL" else f"OLD.{object_version}"
        ledger.execute(f'CREATE RULE "log_{table}" AS ON DELETE TO "{table}" DO ALSO INSERT INTO deletions '
                       f"(table_name, object_id, object_version) VALUES ('{table}', OLD.{object_id}, {version})")


@pytest.fixture
def store(tables):
    connection = PostgresImmutableConnection()
    connection.connect()
    connection.execute("TRUNCATE " + ", ".join(f'"{t}"' for t in LOGGED_TABLES) + ", deletions")
    yield connection
    connection.disconnect()


def rows(connection, sql):
    return [tuple(row) for row in connection.execute(sql).fetchall()]


def deletions(connection):
    return rows(connection, "SELECT table_name, object_id, object_version FROM deletions ORDER BY seq")


def test_put_shapes_the_row_from_a_copy(store):
    record = {"name": "Ann", "data": {"tags": ["a"]}, "no_such_column": 1, "partition_key": "other", "range_key": "x"}
    original = copy.deepcopy(record)
    store.begin()
    store.put(person("1", "o1", "v1"), record)
    store.commit()
    assert rows(store, 'SELECT partition_key, range_key, full_name, data::text FROM person_v_1') == [
        ("o1", "v1", "Ann", '{"tags": ["a"]}')]
    assert record == original


def test_put_of_metadata_and_reference_rows(store):
    store._is_revert_enabled = False
    record = metadata_record("1", "o1", "v1", None, "2024-02-03 04:05:06")
    store.put(metadata_address("o1", "v1"), record)
    store.put(Address(class_name="reference", object_id="o1", object_version="3"), {"target": "t9"})
    assert rows(store, "SELECT object_id, object_version, prior_version, address->>'class_version', "
                       "created_at::text FROM metadata") == [("o1", "v1", None, "1", "2024-02-03 04:05:06")]
    assert rows(store, "SELECT * FROM reference") == [("o1", "t9")]
    with pytest.raises(KeyError):
        store.put(metadata_address("o2", "v1"), {"prior_version": None})


def test_bulk_put_writes_each_row_to_its_own_table(store):
    store.begin()
    store.bulk_put([(person("1", "o1", "v1"), {"name": "Ann", "data": {"n": 1}}),
                    (Address(class_name="Thing", class_version="1", object_id="t1", object_version="v1"),
                     {"label": "box"}),
                    [person("1", "o2", "v1"), {"name": "Bob"}]])
    assert len(store._revert_data[-1]) == 3
    store.commit()
    assert rows(store, "SELECT partition_key, full_name, data::text FROM person_v_1 ORDER BY 1") == [
        ("o1", "Ann", '{"n": 1}'), ("o2", "Bob", None)]
    assert rows(store, "SELECT partition_key, range_key, label FROM thing_v_1") == [("t1", "v1", "box")]


def test_bulk_put_follows_each_rows_class_and_class_version(store):
    store.execute('CREATE TABLE IF NOT EXISTS "thing_v_2" (partition_key text, range_key text, label text)')
    store.table_schema_manager.create_table("Thing", "2", {"label": "text"})

    def thing(version, object_id):
        return Address(class_name="Thing", class_version=version, object_id=object_id, object_version="v1")

    store.begin()
    store.bulk_put([(thing("1", "a"), {"label": "1a"}), (thing("1", "b"), {"label": "1b"}),
                    (thing("2", "c"), {"label": "2c"}), (thing("1", "d"), {"label": "1d"}),
                    (person("1", "p"), {"name": "P"}), (thing("2", "e"), {"label": "2e"})])
    store.commit()
    assert rows(store, "SELECT partition_key FROM thing_v_1 ORDER BY 1") == [("a",), ("b",), ("d",)]
    assert rows(store, "SELECT partition_key FROM thing_v_2 ORDER BY 1") == [("c",), ("e",)]
    assert rows(store, "SELECT partition_key FROM person_v_1") == [("p",)]
    store.execute('DROP TABLE "thing_v_2"')


@pytest.mark.parametrize("data, error", [
    ([], None),
    ([(person("1", "o1", "v1"), {"name": "Ann"}), (person("1", "o2", "v1"),)], ValueError),
    ([(person("1", "o1", "v1"), {"name": "Ann"}, "extra")], ValueError),
    ([(person("1", "o1", "v1"), "not a record")], TypeError),
])
def test_bulk_put_that_writes_nothing(store, data, error):
    # No transaction open: an empty list needs none, a malformed one fails before recording.
    if error is None:
        store.bulk_put(data)
    else:
        with pytest.raises(error):
            store.bulk_put(data)
    assert rows(store, "SELECT count(*) FROM person_v_1") == [(0,)]


def test_delete_removes_exactly_one_version(store):
    store._is_revert_enabled = False
    for version, prior in (("v1", None), ("v2", "v1")):
        write_version(store, "1", "o1", version, prior, {"name": version})
    store.put(Address(class_name="reference", object_id="o1"), {"target": "a"})
    store.put(Address(class_name="reference", object_id="o1"), {"target": "b"})
    store._delete(person("1", "o1", "v2"))
    store._delete(metadata_address("o1", "v2"))
    store._delete(Address(class_name="reference", object_id="o1", object_version="1"))
    assert deletions(store) == [("person_v_1", "o1", "v2"), ("metadata", "o1", "v2"),
                                ("reference", "o1", None), ("reference", "o1", None)]
    with pytest.raises(NelvorConnectionError) as refused:
        store._delete(person("1", "o1", Versions.LATEST))
    assert str(refused.value) == "Deleting in reverse requires a specific version. Current version is latest."


def test_revert_undoes_the_innermost_level_newest_first(store):
    store.begin()
    write_version(store, "1", "o1", "v1", None, {"name": "first"})
    store.commit()
    store.begin()
    store.begin()
    write_version(store, "1", "o1", "v2", "v1", {"name": "second"})
    store.begin()
    write_version(store, "1", "o1", "v3", "v2", {"name": "third"})
    store.bulk_put([(person("1", "o2", "v1"), {"name": "other"}), (person("1", "o3", "v1"), {"name": "more"})])
    store.commit()
    store.revert()
    assert deletions(store) == [("person_v_1", "o3", "v1"), ("person_v_1", "o2", "v1"), ("metadata", "o1", "v3"),
                                ("person_v_1", "o1", "v3"), ("metadata", "o1", "v2"), ("person_v_1", "o1", "v2")]
    assert store._is_revert_enabled is True and len(store._revert_data) == 1
    store.commit()
    # The metadata of the version written before the level survives the revert.
    latest = store.query(Address(class_name="Person"), conditions=Q(_address__object_version=Versions.LATEST))
    assert [(r["partition_key"], r["range_key"], r["name"], r["_metadata"]["next_version"]) for r in latest] == [
        ("o1", "v1", "first", None)]


def test_revert_of_an_empty_level_and_failing_reverts(store):
    store.begin()
    store.begin()
    store.revert()
    assert len(store._revert_data) == 1 and store._is_revert_enabled is True
    store._add_revert_data(person("1", "o1", "v1"), {})
    store._add_revert_data(person("1", "o1", Versions.LATEST), {})
    with pytest.raises(NelvorConnectionError, match="Current version is latest.$"):
        store.revert()
    assert store._is_revert_enabled is False and len(store._revert_data[-1]) == 2
    with pytest.raises(NelvorConnectionError, match="^Revert is not supported$"):
        store.revert()
    store.rollback()


def test_without_revert_support_nothing_is_recorded(tables):
    connection = PostgresImmutableConnection(is_revert_supported=False)
    connection.connect()
    connection.put(person("1", "o9", "v1"), {"name": "kept"})
    with pytest.raises(NelvorConnectionError, match="^Revert is not supported$"):
        connection.revert()
    with pytest.raises(IndexError):
        PostgresImmutableConnection().put(person("1", "o9", "v2"), {"name": "no level open"})
    connection.execute("DELETE FROM person_v_1 WHERE partition_key = 'o9'")
    connection.disconnect()


def test_table_description_memo_is_per_connection_and_skips_missing_tables(tables):
    first = PostgresImmutableConnection()
    first.connect()
    assert first._describe_table("late_table") == {}
    first.execute("CREATE TABLE late_table (x text)")
    description = first._describe_table("late_table")
    assert description == {"x": "text"}
    first.execute("ALTER TABLE late_table ADD COLUMN y integer")
    assert first._describe_table("late_table") is description
    second = PostgresImmutableConnection()
    second.connect()
    assert second._describe_table("late_table") == {"x": "text", "y": "integer"}
    second.disconnect()
    gone = weakref.ref(first)
    first.disconnect()
    del first, description
    gc.collect()
    assert gone() is None
