"""query and count through the framework's builders: every lookup on plain and nested
fields, ordering, selected fields, pagination."""
import pytest

from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import CursorPaginator, NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q

from state_tables import address, create_table

PEOPLE = {
    "p1": {"name": "Ann", "n": 30, "r": 1.5, "ok": True, "data": {"city": "Oslo", "size": 5, "big": True,
                                                                 "deep": {"x": 1.5}, "o'k": "q"}},
    "p2": {"name": "bob", "n": 25, "r": 2.5, "ok": False, "data": {"city": "Bergen", "size": 7, "big": False}},
    "p3": {"name": "Cleo", "n": None, "r": None, "ok": None, "data": {"city": "oslo", "deep": {"x": 3}}},
    "p4": {"name": "O'Brien x%y", "n": 41, "r": -1.0, "ok": True, "data": None},
}


@pytest.fixture
def people(connect):
    connection = connect(is_revert_supported=False)
    create_table(connection)
    connection.bulk_insert([(address(key), record) for key, record in PEOPLE.items()])
    return connection


def ids(connection, conditions=None, **options):
    return sorted(record["partition_key"] for record in connection.query(address(), conditions=conditions, **options))


@pytest.mark.parametrize("conditions, expected", [
    (Q(name="Ann"), ["p1"]),
    (Q(name__neq="Ann"), ["p2", "p3", "p4"]),
    (Q(n__gt=25), ["p1", "p4"]),
    (Q(n__gte=25), ["p1", "p2", "p4"]),
    (Q(r__lt=1.5), ["p4"]),
    (Q(r__lte=1.5), ["p1", "p4"]),
    (Q(n__in=[25, 41]), ["p2", "p4"]),
    (Q(n__in=[]), []),
    (Q(name__contains="x%y"), ["p4"]),
    (Q(name__icontains="O"), ["p2", "p3", "p4"]),
    (Q(name__startswith="O'B"), ["p4"]),
    (Q(name__istartswith="b"), ["p2"]),
    (Q(name__endswith="nn"), ["p1"]),
    (Q(name__iendswith="EO"), ["p3"]),
    (Q(n__isnull=True), ["p3"]),
    (Q(ok=True), ["p1", "p4"]),
    (Q(_address__object_id="p2"), ["p2"]),
    (Q(name="Ann") | ~Q(n__lt=41), ["p1", "p4"]),
    (Q(data__city="Oslo"), ["p1"]),
    (Q(data__city__neq="Oslo"), ["p2", "p3"]),
    (Q(data__size__gt=5), ["p2"]),
    (Q(data__size__gte=5), ["p1", "p2"]),
    (Q(data__deep__x__lt=2.0), ["p1"]),
    (Q(data__deep__x__lte=3.0), ["p1", "p3"]),
    (Q(data__size__in=[5, 7]), ["p1", "p2"]),
    (Q(data__city__in=["Bergen", "oslo"]), ["p2", "p3"]),
    (Q(data__city__in=[]), []),
    (Q(data__city__contains="sl"), ["p1", "p3"]),
    (Q(data__city__icontains="SL"), ["p1", "p3"]),
    (Q(data__city__startswith="O"), ["p1"]),
    (Q(data__city__istartswith="o"), ["p1", "p3"]),
    (Q(data__city__endswith="en"), ["p2"]),
    (Q(data__city__iendswith="LO"), ["p1", "p3"]),
    (Q(data__big=True), ["p1"]),
    (Q(data__big=False), ["p2"]),
    (Q(data__size__isnull=True), ["p3", "p4"]),
    (Q(data__deep__isnull=False), ["p1", "p3"]),
    (Q(**{"data__o'k": "q"}), ["p1"]),
])
def test_lookups(people, conditions, expected):
    assert ids(people, conditions) == expected
    assert people.count(address(), conditions) == len(expected)


@pytest.mark.parametrize("order_by, expected", [
    ([OrderBy("n")], ["p2", "p1", "p4", "p3"]),
    ([OrderBy("ok", desc=True), OrderBy("name")], ["p3", "p1", "p4", "p2"]),
    ([OrderBy("data__city")], ["p2", "p1", "p3", "p4"]),
    ([OrderBy("data__size", desc=True), OrderBy("name")], ["p3", "p4", "p2", "p1"]),
])
def test_ordering(people, order_by, expected):
    assert [r["partition_key"] for r in people.query(address(), order_by=order_by)] == expected


def test_only_and_pagination(people):
    page = people.query(address(), QuerySpecifier(only=["name", "partition_key"]), Q(n__isnull=False),
                        NumberPaginator(limit=2, offset=1), [OrderBy("n")])
    assert page == [{"name": "Ann", "partition_key": "p1"}, {"name": "O'Brien x%y", "partition_key": "p4"}]
    assert len(people.query(address(), pagination=CursorPaginator(cursor="x", limit=1))) == 4
    assert people.query(address(), pagination=NumberPaginator(limit=0)) == []
    assert people.count(address()) == 4


def test_an_empty_table_reads_as_nothing(connection, table):
    assert connection.query(address()) == [] and connection.count(address(), Q(n=1)) == 0
