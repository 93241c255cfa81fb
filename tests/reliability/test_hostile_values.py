"""Arbitrary values written through put and insert read back unchanged; values a
column cannot hold are refused with a clear error and leave nothing behind."""
import itertools

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.query.utils import Q
from reliability_support import driver_module
from store_sides import FIELDS, SIDES

INT64 = st.integers(-2**63, 2**63 - 1)
# Any text PostgreSQL can hold: every code point but NUL and the UTF-16 surrogates.
TEXT = st.text(st.characters(exclude_categories=("Cs",), exclude_characters="\x00"), max_size=30)
# JSON escapes NUL, so a json column takes it.
JSON_TEXT = st.text(st.characters(exclude_categories=("Cs",)), max_size=12)
JSON_SCALARS = st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False, allow_infinity=False) | JSON_TEXT
JSON_VALUES = st.recursive(JSON_SCALARS, lambda inner: st.lists(inner, max_size=4)
                           | st.dictionaries(JSON_TEXT, inner, max_size=4), max_leaves=12)
# A json column of the historical store takes a map or a list (written as JSON
# text); the state store converts scalars itself.
JSON_COLUMN = {"historical": st.one_of(st.dictionaries(JSON_TEXT, JSON_VALUES, max_size=5),
                                       st.lists(JSON_VALUES, max_size=5)),
               "state": JSON_VALUES}
COLUMN_VALUES = {"t": TEXT, "i": INT64, "f": st.floats(allow_nan=False), "b": st.booleans(),
                 "n": st.integers(-2**31, 2**31 - 1)}


def records(kind: str):
    optional = {column: st.none() | values for column, values in {**COLUMN_VALUES, "j": JSON_COLUMN[kind]}.items()}
    return st.fixed_dictionaries({}, optional=optional)


def identical(left, right) -> bool:
    """Equal values of equal types all the way down: True is not 1, 1.0 is not 1,
    -0.0 is not 0.0, NaN is NaN, and maps keep their key order."""
    if type(left) is not type(right):
        return False
    if isinstance(left, float):
        return repr(left) == repr(right)
    if isinstance(left, dict):
        return list(left) == list(right) and all(identical(left[key], right[key]) for key in left)
    if isinstance(left, list):
        return len(left) == len(right) and all(map(identical, left, right))
    return left == right


def assert_reads_back(side, object_id, record):
    (stored,) = side.read(object_id)
    expected = {column: record.get(column) for column in FIELDS}
    assert stored.keys() == expected.keys()
    for column, value in expected.items():
        assert identical(stored[column], value), (column, stored[column], value)


@pytest.fixture(scope="module", params=sorted(SIDES))
def side(request, database):
    kind = request.param
    opened = SIDES[kind](f"Hostile{kind}", is_revert_supported=False)
    yield opened
    opened.close()


@pytest.fixture(scope="module")
def object_ids():
    return (f"h{number}" for number in itertools.count())


def test_arbitrary_records_round_trip(side, object_ids, soak):
    @settings(max_examples=2000 if soak else 300, deadline=None, database=None,
              suppress_health_check=[HealthCheck.too_slow])
    @given(record=records(side.kind))
    def round_trip(record):
        object_id = next(object_ids)
        side.write(object_id, record)
        assert_reads_back(side, object_id, record)

    round_trip()


@pytest.mark.parametrize("value", [float("inf"), float("-inf"), float("nan"), -0.0, 5e-324, 1.7976931348623157e308,
                                   0.1, 1 / 3])
def test_float_edge_values_round_trip(side, object_ids, value):
    object_id = next(object_ids)
    side.write(object_id, {"f": value})
    assert_reads_back(side, object_id, {"f": value})


def nested(depth: int):
    value = []
    for level in range(depth):
        value = {"level": level, "inner": [value]}
    return value


@pytest.mark.parametrize("value", [
    {"big": 2**64, "bigger": -2**100, "huge": 10**40},
    {"tiny": 5e-324, "minus zero": -0.0, "max": 1.7976931348623157e308},
    {"nul": "a\x00b", "line separators": "\u2028\u2029", "last": "\U0010ffff", "escape": "\x1b[0m"},
    {"": {"": [""]}, "\"": "\\"}, [True, 1, 1.0, "1", None], nested(100)], ids=[
    "big-integers", "float-limits", "odd-characters", "empty-and-quoted-keys", "look-alike-scalars", "deep"])
def test_json_edge_values_round_trip(side, object_ids, value):
    object_id = next(object_ids)
    side.write(object_id, {"j": value})
    assert_reads_back(side, object_id, {"j": value})


@pytest.mark.parametrize("column, value", [("i", 2**63), ("i", -2**63 - 1), ("i", 10**40),
                                           ("n", 2**31), ("n", -2**31 - 1)])
def test_integer_beyond_the_column_is_refused(side, object_ids, column, value):
    object_id = next(object_ids)
    with pytest.raises(NelvorConnectionError) as raised:
        side.write(object_id, {column: value, "t": "must not be written"})
    assert isinstance(raised.value.__cause__, driver_module(type(side.connection)).DataError)
    assert "out of range" in str(raised.value.__cause__)
    assert side.read(object_id) == []


def test_text_with_nul_is_refused_and_the_transaction_goes_on(side, object_ids):
    kept, refused = next(object_ids), next(object_ids)
    connection = side.connection
    connection.begin()
    side.write(kept, {"t": "before"})
    connection.begin()
    with pytest.raises(NelvorConnectionError) as raised:
        side.write(refused, {"t": "a\x00b"})
    assert "NUL" in str(raised.value.__cause__)
    connection.rollback()
    connection.commit()
    assert side.read(refused) == []
    assert_reads_back(side, kept, {"t": "before"})


def test_statement_text_with_nul_is_refused_not_cut_short(side, admin_sql):
    """libpq reads a statement up to its first NUL: what follows must not be
    dropped silently, the statement is refused whole."""
    table = side.table
    with pytest.raises(NelvorConnectionError) as raised:
        side.connection.execute(f'SELECT 1\x00; DELETE FROM "{table}"')
    assert "NUL" in str(raised.value.__cause__)
    with pytest.raises(NelvorConnectionError):
        side.connection.execute(f"INSERT INTO \"{table}\" (partition_key, t) VALUES ('nul', 'x')\x00junk")
    assert admin_sql(f"SELECT count(*) FROM \"{table}\" WHERE partition_key = 'nul'") == [("0",)]


def test_json_key_holding_nul_is_not_cut_to_a_shorter_key(side, object_ids):
    object_id = next(object_ids)
    side.write(object_id, {"j": {"k": "v"}})
    try:
        matched = side.query(conditions=Q(**{"j__k\x00x": "v"}))
    except NelvorConnectionError:
        matched = []
    assert matched == []


GHOST_OPERATIONS = {
    "delete": {"historical": lambda c, a: c._delete(a), "state": lambda c, a: c.delete(a)},
    "bulk write": {"historical": lambda c, a: c.bulk_put([(a, {"t": "x"})]), "state": lambda c, a: c.bulk_delete([a])},
    "query": {"historical": lambda c, a: c.query(a), "state": lambda c, a: c.query(a)},
    "count": {"historical": lambda c, a: c.count(a), "state": lambda c, a: c.count(a)},
}


@pytest.mark.parametrize("operation", GHOST_OPERATIONS)
def test_table_name_holding_nul_is_not_cut_to_another_table(side, object_ids, admin_sql, operation):
    """A class name made of a real table's name and a NUL must reach no table:
    neither reads nor writes may fall on the table whose name is its prefix."""
    object_id = next(object_ids)
    side.write(object_id, {"t": "stays"})
    ghost = Address(class_name=f"{side.table}\x00", class_version="1", object_id=object_id, object_version="1")
    with pytest.raises(NelvorConnectionError):
        GHOST_OPERATIONS[operation][side.kind](side.connection, ghost)
    assert admin_sql(f"SELECT count(*) FROM \"{side.table}\" WHERE partition_key = '{object_id}'") == [("1",)]
