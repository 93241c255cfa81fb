"""Edges of the statements both classes build, found from outside: nested text with
quote characters, None as a lookup value, arguments of the wrong type, stored json
that only Python's json module reads, and ordering with pages and projections."""
import contextlib
import itertools
import json

import pytest

from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q
from store_sides import SIDES


@pytest.fixture(scope="module", params=sorted(SIDES))
def side(request, database):
    opened = SIDES[request.param](f"Edge{request.param}", is_revert_supported=False)
    yield opened
    opened.close()


@pytest.fixture
def fresh(side):
    """The side with its table emptied."""
    side.connection.execute(f'DELETE FROM "{side.table}"')
    if side.kind == "historical":
        side.connection.execute("DELETE FROM metadata WHERE object_id LIKE %s", "e%")
    return side


def texts(side, **select):
    return sorted(record["t"] for record in side.query(**select))


def test_nested_text_keeps_its_quote_characters(fresh):
    for number, value in enumerate(['q"', '"a"', "a", 'x"y']):
        fresh.write(f"e{number}", {"t": value, "j": {"s": value}})
    assert texts(fresh, conditions=Q(j__s__contains='q"')) == ['q"']
    assert texts(fresh, conditions=Q(j__s="a")) == ["a"]
    assert texts(fresh, conditions=Q(j__s='"a"')) == ['"a"']
    assert texts(fresh, conditions=Q(j__s__endswith='"')) == ['"a"', 'q"']


def test_none_is_a_lookup_value(fresh):
    fresh.write("e1", {"t": "with", "n": 1, "j": {"s": "x"}})
    fresh.write("e2", {"t": "without", "n": None, "j": {"s": None}})
    assert texts(fresh, conditions=Q(n=None)) == ["without"]
    assert texts(fresh, conditions=Q(n__neq=None)) == ["with"]
    assert texts(fresh, conditions=Q(j__s=None)) == ["without"]
    assert texts(fresh, conditions=Q(j__s__neq=None)) == ["with"]
    assert fresh.connection.process_value_before_insert(None, "json") is None
    assert fresh.connection.process_value_before_insert(None, "text") is None


def _public_calls(connection, address):
    """(argument name, call) for every public operation given one wrong argument."""
    calls = [("address", lambda: connection.query("text")),
             ("address", lambda: connection.count(None)),
             ("conditions", lambda: connection.query(address, conditions={"t": 1})),
             ("conditions", lambda: connection.count(address, conditions="t = 1")),
             ("query_specifier", lambda: connection.query(address, query_specifier=["t"])),
             ("pagination", lambda: connection.query(address, pagination=10)),
             ("order_by", lambda: connection.query(address, order_by="t")),
             ("order_by", lambda: connection.query(address, order_by=["t"]))]
    if hasattr(connection, "put"):
        calls += [("address", lambda: connection.put("o1", {"t": "x"})),
                  ("data", lambda: connection.bulk_put([("o1", {"t": "x"})]))]
    else:
        calls += [("address", lambda: connection.insert({"object_id": "o1"}, {"t": "x"})),
                  ("address", lambda: connection.update(None, {"t": "x"})),
                  ("address", lambda: connection.delete("o1")),
                  ("data", lambda: connection.bulk_insert([("o1", {"t": "x"})])),
                  ("data", lambda: connection.bulk_update(None)),
                  ("addresses", lambda: connection.bulk_delete(["o1"]))]
    return calls


def test_wrong_argument_types_are_named(fresh):
    address = fresh.address("e1")
    for argument, call in _public_calls(fresh.connection, address):
        with pytest.raises(TypeError, match=f"argument '{argument}'"):
            call()
    assert fresh.query() == []


def test_json_that_only_python_reads_is_read_back(fresh):
    """The store writes 10**400 itself; the server's json also holds 1e400 and lone
    surrogate escapes. Such a row must not make the table unreadable."""
    fresh.write("e1", {"t": "big", "j": {"k": 10 ** 400}})
    assert [record["j"] for record in fresh.query()] == [{"k": 10 ** 400}]
    document = '{"k": 1e400, "s": "\\ud800", "l": [-1' + "0" * 30 + "]}"
    fresh.connection.execute(f'UPDATE "{fresh.table}" SET j = %s', document)
    assert [record["j"] for record in fresh.query()] == [json.loads(document)]


@pytest.fixture
def two_versions(fresh):
    """The historical side with a second class version table beside the first."""
    if fresh.kind != "historical":
        pytest.skip("class versions are kept apart by the historical store only")
    service = fresh.connection.table_schema_manager
    second = service.resolve_table_name(Address(class_name=fresh.class_name, class_version="2"))
    fresh.connection.execute(f'DROP TABLE IF EXISTS "{second}"')
    service.create_table(fresh.class_name, "2", {"t": "text", "n": "integer", "j": "json"})

    def write(class_version, object_id, record):
        address = Address(class_name=fresh.class_name, class_version=class_version, object_id=object_id,
                          object_version="1")
        fresh.connection.put(address, record)
        fresh.connection.put(Address(class_name="metadata", object_id=object_id, object_version="1"),
                             {"address": {"class_name": fresh.class_name, "class_version": class_version,
                                          "object_id": object_id, "object_version": "1"},
                              "prior_version": None, "is_deleted": False})
    yield write
    fresh.connection.execute(f'DROP TABLE "{second}"')


def all_versions(side):
    return Address(class_name=side.class_name, class_version=Versions.ALL)


@pytest.mark.parametrize("versions", ["1", "1,2"])
def test_a_page_of_a_nested_ordering_is_cut_where_the_result_is_sorted(fresh, two_versions, versions):
    values = [2, 10, "b", 1.5, None, "10", 33]
    for number, value in enumerate(values):
        class_version = "2" if versions == "1,2" and number % 2 else "1"
        two_versions(class_version, f"e{number}", {"t": f"e{number}", "j": {"k": value}})
    address = all_versions(fresh)
    whole = [record["t"] for record in fresh.connection.query(address, order_by=[OrderBy("j__k")])]
    assert whole == ["e3", "e0", "e1", "e6", "e5", "e2", "e4"]  # numbers, then text, then missing
    for desc in (False, True):
        order = [OrderBy("j__k", desc=desc)]
        expected = [record["t"] for record in fresh.connection.query(address, order_by=order)]
        for offset, limit in itertools.product(range(4), (1, 2, 3)):
            page = fresh.connection.query(address, order_by=order,
                                          pagination=NumberPaginator(limit=limit, offset=offset))
            assert [record["t"] for record in page] == expected[offset:offset + limit], (desc, offset, limit)


@pytest.mark.parametrize("versions", ["1", "1,2"])
def test_ordering_holds_for_fields_that_only_leaves_out(fresh, two_versions, versions):
    people = [("ann", 30, "x"), ("bob", 10, "y"), ("cid", 20, "x"), ("dan", 40, "y"), ("eve", 5, "x")]
    for number, (name, age, group) in enumerate(people):
        class_version = "2" if versions == "1,2" and number % 2 else "1"
        two_versions(class_version, f"e{number}", {"t": name, "n": age, "j": {"g": group}})
    address = all_versions(fresh)
    only = QuerySpecifier(only=["t"])
    by_age = fresh.connection.query(address, query_specifier=only, order_by=[OrderBy("n")])
    assert [record["t"] for record in by_age] == ["eve", "bob", "cid", "ann", "dan"]
    assert all("n" not in record and "j" not in record for record in by_age)
    two_keys = fresh.connection.query(address, query_specifier=only,
                                      order_by=[OrderBy("j__g"), OrderBy("n", desc=True)])
    assert [record["t"] for record in two_keys] == ["ann", "cid", "eve", "dan", "bob"]
    assert only.only == ["t"]  # the caller's specifier is left as it was
    paged = fresh.connection.query(address, query_specifier=only, order_by=[OrderBy("n")],
                                   pagination=NumberPaginator(limit=2, offset=1))
    assert paged == [{"t": "bob", "_metadata": paged[0]["_metadata"]}, {"t": "cid", "_metadata": paged[1]["_metadata"]}]


def test_state_ordering_holds_for_fields_that_only_leaves_out(fresh):
    if fresh.kind != "state":
        pytest.skip("the historical store is covered with its class versions above")
    for name, age in [("ann", 30), ("bob", 10), ("cid", 20)]:
        fresh.write(name, {"t": name, "n": age})
    records = fresh.query(query_specifier=QuerySpecifier(only=["t"]), order_by=[OrderBy("n", desc=True)])
    assert records == [{"t": "ann"}, {"t": "cid"}, {"t": "bob"}]


def stored(side, column):
    return [row[0] for row in side.connection.execute(f'SELECT "{column}" FROM "{side.table}" ORDER BY t').fetchall()]


@contextlib.contextmanager
def own_connection(side):
    """The side on a connection of its own, whose memo of table descriptions goes with it."""
    shared = side.connection
    side.connection = type(shared)(is_revert_supported=False)
    side.connection.connect()
    side.connection.prepare_connection()
    try:
        yield side
    finally:
        side.connection.disconnect()
        side.connection = shared


def test_the_table_described_is_the_one_the_name_resolves_to(fresh, admin_sql):
    """A same-named table in another schema adds no columns; the search_path decides."""
    admin_sql("CREATE SCHEMA IF NOT EXISTS elsewhere")
    admin_sql(f'CREATE TABLE IF NOT EXISTS elsewhere."{fresh.table}" (t text, foreign_only text)')
    try:
        with own_connection(fresh):
            description = fresh.connection._describe_table(fresh.table)
            assert "foreign_only" not in description and "t" in description
            fresh.write("e1", {"t": "kept", "foreign_only": "dropped"})
            assert stored(fresh, "t") == ["kept"]
        other = type(fresh.connection)(is_revert_supported=False)
        other.connect()
        try:
            other.execute("SET search_path TO elsewhere")
            assert other._describe_table(fresh.table) == {"t": "text", "foreign_only": "text"}
        finally:
            other.disconnect()
    finally:
        admin_sql("DROP SCHEMA elsewhere CASCADE")
    admin_sql('CREATE TABLE "Odd.Name""q" (a integer)')  # the whole name is one identifier
    try:
        assert fresh.connection._describe_table('Odd.Name"q') == {"a": "integer"}
    finally:
        admin_sql('DROP TABLE "Odd.Name""q"')


def test_a_column_added_by_another_session_is_written(fresh, admin_sql):
    with own_connection(fresh):
        fresh.write("e1", {"t": "before"})  # the description is memoised now
        admin_sql(f'ALTER TABLE "{fresh.table}" ADD COLUMN added text')
        try:
            fresh.write("e2", {"t": "after", "added": "kept"})
            assert stored(fresh, "added") == ["kept", None]
            # A key that is no column is looked for once: a column of that name
            # added afterwards is not seen by this connection's memo.
            fresh.write("e3", {"t": "one", "later": "x"})
            admin_sql(f'ALTER TABLE "{fresh.table}" ADD COLUMN later text')
            fresh.write("e4", {"t": "two", "later": "x"})
            assert stored(fresh, "later") == [None, None, None, None]
        finally:
            admin_sql(f'ALTER TABLE "{fresh.table}" DROP COLUMN IF EXISTS added, DROP COLUMN IF EXISTS later')
