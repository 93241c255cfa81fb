"""Single and bulk writes, the record lookup, and values of json columns."""
import copy
import datetime
import json
import logging

import pytest

from nelvor_data.connections.enums import ModifyOperation
from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.query.utils import Q

from state_tables import address, create_table, stored


@pytest.fixture
def plain(connect):
    """A second connection that records nothing, for setting up and reading back."""
    return connect(is_revert_supported=False)


def rows(connection):
    return {record["partition_key"]: record for record in connection.query(address())}


def test_insert_keeps_columns_only_and_the_address_id_wins(connection, table):
    data = {"name": "A", "unknown": 1, "partition_key": "other", "data": {"k": [1, {"x": None}]}}
    before = copy.deepcopy(data)
    connection.begin()
    connection.insert(address("a1"), data)
    assert data == before
    assert connection._revert_data == [[(ModifyOperation.CREATE, address("a1"), data)]]
    assert connection._revert_data[0][0][2] is data
    connection.commit()
    assert rows(connection) == {"a1": {"partition_key": "a1", "name": "A", "n": None, "r": None, "ok": None,
                                       "data": {"k": [1, {"x": None}]}, "_metadata": None}}


def test_update_records_the_stored_record_and_changes_named_columns_only(connection, plain, table):
    plain.insert(address("a1"), {"name": "A", "n": 1})
    connection.begin()
    connection.update(address("a1"), {"n": 2, "unknown": 3})
    [(operation, _, old)] = connection._revert_data[-1]
    assert operation == ModifyOperation.UPDATE and (old["name"], old["n"]) == ("A", 1)
    connection.commit()
    assert (stored(plain, table, "name", "a1"), stored(plain, table, "n", "a1")) == ("A", 2)


@pytest.mark.parametrize("value", ["text", "123", "true", 'say "hi" – ünï', 7, -3, True, False, 1.25, 1e300,
                                   {"a": [1, "b", None]}, [1, 2.5, "x", {"y": False}], [], {}])
@pytest.mark.parametrize("write", ["insert", "bulk_insert", "update", "bulk_update"])
def test_json_column_reads_back_what_was_written(plain, value, write):
    create_table(plain)
    if write == "insert":
        plain.insert(address("j"), {"data": value})
    elif write == "bulk_insert":
        plain.bulk_insert([(address("j"), {"data": value}), (address("k"), {"n": 1})])
    else:
        plain.bulk_insert([(address("j"), {"data": None}), (address("k"), {"data": None})])
        if write == "update":
            plain.update(address("j"), {"data": value})
        else:
            plain.bulk_update([(address("j"), {"data": value}), (address("k"), {"n": 1})])
    [record] = plain.query(address(), conditions=Q(_address__object_id="j"))
    assert record["data"] == value and type(record["data"]) is type(value)


@pytest.mark.parametrize("value", [float("nan"), float("inf")])
def test_json_column_refuses_numbers_json_cannot_hold(plain, table, value):
    with pytest.raises(ValueError):
        plain.insert(address("j"), {"data": value})


def test_bulk_update_sets_a_missing_field_to_null(connection, table, caplog):
    connection.begin()
    connection.bulk_insert([(address(i), {"name": i, "n": 1, "ok": True}) for i in ("a", "b", "c")])
    with caplog.at_level(logging.WARNING):
        connection.bulk_update([(address("a"), {"n": 5, "r": 0.5, "junk": 1}), (address("b"), {"ok": False})])
    assert "Revert is not supported for bulk update" in caplog.messages
    assert [entry[0] for entry in connection._revert_data[-1]] == [ModifyOperation.CREATE] * 3
    connection.commit()
    got = {key: (r["name"], r["n"], r["r"], r["ok"]) for key, r in rows(connection).items()}
    assert got == {"a": ("a", 5, 0.5, None), "b": ("b", None, None, False), "c": ("c", 1, None, True)}


def test_bulk_insert_escapes_names_and_records_one_entry_per_record(connection):
    create_table(connection, {'we"ird': "text", "50% off": "integer", "Mixed Case": "boolean"})
    connection.begin()
    data = [(address("a"), {'we"ird': "x", "50% off": 1}), (address("b"), {"Mixed Case": True})]
    connection.bulk_insert(data)
    assert connection._revert_data[-1] == [(ModifyOperation.CREATE, a, record) for a, record in data]
    connection.commit()
    assert [(r["partition_key"], r['we"ird'], r["50% off"], r["Mixed Case"])
            for r in connection.query(address())] == [("a", "x", 1, None), ("b", None, None, True)]


def test_bulk_delete_removes_the_listed_records_after_recording_them(connection, plain, table):
    plain.bulk_insert([(address(i), {"n": k}) for k, i in enumerate("abcd")])
    connection.begin()
    connection.bulk_delete([address("c"), address("a")])
    assert [(op, a.object_id, record["n"]) for op, a, record in connection._revert_data[-1]] == [
        (ModifyOperation.DELETE, "c", 2), (ModifyOperation.DELETE, "a", 0)]
    connection.commit()
    assert sorted(rows(plain)) == ["b", "d"]


@pytest.mark.parametrize("count", [63, 64, 3000])
def test_bulk_delete_of_many_addresses_removes_exactly_those(connection, plain, table, count):
    keys = [f"k{i}" for i in range(count + 10)]
    plain.bulk_insert([(address(key), {"n": i}) for i, key in enumerate(keys)])
    doomed = [address(key) for key in reversed(keys[5:5 + count])]
    connection.begin()
    connection.bulk_delete(doomed + [doomed[0]])  # a repeated address deletes its row once
    entries = connection._revert_data[-1]
    assert [(op, a.object_id) for op, a, _ in entries] == [(ModifyOperation.DELETE, a.object_id)
                                                           for a in doomed + [doomed[0]]]
    assert [record["n"] for _, _, record in entries[:3]] == [4 + count, 3 + count, 2 + count]
    connection.commit()
    assert sorted(rows(plain)) == sorted(keys[:5] + keys[5 + count:])


def test_bulk_delete_of_many_addresses_is_all_or_nothing(plain, table):
    plain.bulk_insert([(address(f"k{i}"), {"n": i}) for i in range(100)])
    plain.execute(f'CREATE TABLE "{table}_child" (k text REFERENCES "{table}" (partition_key))')
    plain.execute(f'INSERT INTO "{table}_child" VALUES (%s)', "k99")
    plain.begin()
    with pytest.raises(NelvorConnectionError) as failure:
        plain.bulk_delete([address(f"k{i}") for i in range(100)])
    assert failure.value.__cause__ is not None
    plain.rollback()
    assert len(rows(plain)) == 100
    plain.execute(f'DROP TABLE "{table}_child"')


@pytest.mark.parametrize("operation", ["bulk_insert", "bulk_update", "bulk_delete"])
def test_empty_bulk_input_does_nothing(connection, operation):
    getattr(connection, operation)([])  # no level open, no table: nothing is touched
    assert connection._revert_data == []


def test_record_lookup_failures(connection, table):
    connection.execute(f'ALTER TABLE "{table}" DROP CONSTRAINT "{table}_pkey"')
    connection.execute(f'INSERT INTO "{table}" (partition_key, n) VALUES (%s, 1), (%s, 2)', "d", "d")
    connection.begin()
    with pytest.raises(NelvorConnectionError) as missing:
        connection.update(address("none"), {"n": 1})
    assert str(missing.value) == f"Record not found for {address('none')}"
    assert isinstance(missing.value.__cause__, IndexError)
    with pytest.raises(NelvorConnectionError, match=r"^Multiple records found for Address\(.*object_id='d'"):
        connection.delete(address("d"))
    with pytest.raises(NelvorConnectionError, match="^Multiple records found"):
        connection.bulk_delete([address("d")])
    assert connection._revert_data == [[]]
    connection.rollback()
    assert sorted(r["n"] for r in connection.query(address())) == [1, 2]


def test_revert_enabled_writes_need_an_open_level(connection, table):
    with pytest.raises(IndexError):
        connection.insert(address("a"), {"n": 1})
    with pytest.raises(IndexError):
        connection.bulk_insert([(address("a"), {"n": 1})])
    assert connection.count(address()) == 0


def test_writes_without_revert_touch_missing_records_silently(plain, table):
    plain.update(address("none"), {"n": 1})
    plain.delete(address("none"))
    assert plain.count(address()) == 0


def test_a_table_created_after_a_failed_write_is_described_afresh(plain):
    plain.execute('DROP TABLE IF EXISTS "item_v_1"')
    with pytest.raises(NelvorConnectionError):
        plain.insert(address("a"), {"n": 1})
    create_table(plain)
    plain.insert(address("a"), {"n": 1})
    assert [r["n"] for r in plain.query(address())] == [1]


def test_table_descriptions_are_remembered_per_connection(plain, connect, table):
    plain.insert(address("a"), {"n": 1})
    plain.execute(f'ALTER TABLE "{table}" ADD COLUMN extra text')
    assert "extra" not in plain._describe_table(table)  # still the remembered description
    # A key the description lacks has the table described once more before it is dropped.
    plain.insert(address("b"), {"extra": "kept"})
    assert "extra" in plain._describe_table(table)
    other = connect(is_revert_supported=False)
    other.insert(address("c"), {"extra": "kept"})
    assert {r["partition_key"]: r["extra"] for r in other.query(address())} == {"a": None, "b": "kept", "c": "kept"}


@pytest.mark.parametrize("call", [lambda c: c.insert(address("a"), [("n", 1)]),
                                  lambda c: c.update(address("a"), "n"),
                                  lambda c: c.bulk_update([(address("a"), None)])])
def test_a_record_that_is_not_a_map_is_rejected(plain, call):
    with pytest.raises(TypeError, match="data"):
        call(plain)


class _UnreadableClass:
    """A record whose type check fails: asking for its class raises."""

    @property
    def __class__(self):
        raise LookupError("class unreadable")


def test_a_failing_mapping_check_raises_its_own_error(plain):
    with pytest.raises(LookupError, match="class unreadable"):
        plain.insert(address("a"), _UnreadableClass())


@pytest.mark.parametrize("count", [1, 100])
def test_bulk_insert_stores_json_text_as_insert_does(plain, table, count):
    """Dicts and lists for a json column are written by the class, byte for byte as the
    framework's conversion (json.dumps) writes them for insert."""
    value = {"b": [1, 2.5, None, True, "x\u00e9\U0001d11e\n"], "a": {"1": {}}, "z": -0.0, "big": 2**70}
    plain.insert(address("single"), {"data": value})
    plain.bulk_insert([(address(f"k{i}"), {"data": value if i % 2 else [value]}) for i in range(count)])
    cursor = plain.execute(f'SELECT partition_key, data::text FROM "{table}" ORDER BY partition_key')
    stored = dict(cursor.fetchall())
    assert stored.pop("single") == json.dumps(value)
    assert stored == {f"k{i}": json.dumps(value if i % 2 else [value]) for i in range(count)}


@pytest.mark.parametrize("value", [{"n": float("nan")}, [{1.5: "float key"}], {"when": datetime.date(2024, 1, 2)}])
def test_bulk_insert_leaves_json_the_class_cannot_write_to_the_framework(plain, table, value):
    try:
        expected = json.dumps(value)
    except TypeError as refused:
        with pytest.raises(type(refused)):
            plain.bulk_insert([(address("k"), {"data": value})])
        return
    if "NaN" in expected:  # json.dumps writes it, the server refuses it
        with pytest.raises(NelvorConnectionError):
            plain.bulk_insert([(address("k"), {"data": value})])
        return
    plain.bulk_insert([(address("k"), {"data": value})])
    assert plain.execute(f'SELECT data::text FROM "{table}"').fetchone()[0] == expected
