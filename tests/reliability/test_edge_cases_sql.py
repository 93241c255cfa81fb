"""Edges of the statements both classes build, found from outside: nested text with
quote characters, None as a lookup value, arguments of the wrong type, stored json
that only Python's json module reads, and ordering with pages and projections."""
import itertools
import json

import pytest

from nelvor_utils.models.data_models.address import Address
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


def ids(side, **select):
    return [record["_metadata"]["object_id"] if "_metadata" in record else record["t"]
            for record in side.query(**select)]


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
