"""Reading a history back: versions, filters, ordering, projection, pages and counts."""
import pytest

from history_data import HISTORY
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q

ALL = Address(class_name="Person", class_version=Versions.ALL)
LATEST = Q(_address__object_version=Versions.LATEST)
METADATA_KEYS = ["next_version", "address", "object_id", "object_version", "prior_version",
                 "class_schema_reference", "class_meta_schema_reference", "class_schema_type", "is_deleted",
                 "created_at", "updated_at", "transaction"]
BY_KEY = [OrderBy("partition_key"), OrderBy("range_key")]


def ids(records):
    return [record["partition_key"] for record in records]


def test_every_version_comes_back_with_its_metadata(history):
    records = history.query(ALL, order_by=BY_KEY)
    expected = []
    for class_version, object_id, versions in HISTORY:
        numbers = [number for number, _ in versions]
        for position, (number, record) in enumerate(versions):
            following = numbers[position + 1] if position + 1 < len(numbers) else None
            expected.append((object_id, number, record["name"], record["data"], class_version, following))
    got = [(r["partition_key"], r["range_key"], r["name"], r["data"], r["_metadata"]["address"]["class_version"],
            r["_metadata"]["next_version"]) for r in records]
    assert got == expected
    for record in records:
        assert list(record["_metadata"]) == METADATA_KEYS
        assert record["_metadata"]["object_version"] == record["range_key"]
        assert record["_metadata"]["is_deleted"] is False


def test_latest_versions_only(history):
    records = history.query(ALL, conditions=LATEST, order_by=BY_KEY)
    assert [(r["partition_key"], r["range_key"]) for r in records] == [("o1", "2"), ("o2", "1"), ("o3", "1"),
                                                                        ("o4", "3")]
    assert all(r["_metadata"]["next_version"] is None for r in records)


@pytest.mark.parametrize("conditions, expected", [
    (Q(name="Anna"), ["o1"]),
    (Q(name__neq="Anna"), ["o2", "o3", "o4"]),
    (Q(name__gt="Cleo"), ["o2", "o4"]),
    (Q(name__lte="Cleo"), ["o1", "o3"]),
    (Q(name__in=["bob", "Dan", "nobody"]), ["o2", "o4"]),
    (Q(name__contains="nn"), ["o1"]),
    (Q(name__icontains="AN"), ["o1", "o4"]),
    (Q(name__startswith="C"), ["o3"]),
    (Q(name__istartswith="d"), ["o4"]),
    (Q(name__endswith="n"), ["o4"]),
    (Q(name__iendswith="A"), ["o1"]),
    (Q(name__isnull=False), ["o1", "o2", "o3", "o4"]),
    (Q(name="bob") | Q(data__rank=5), ["o2", "o4"]),
    (Q(_address__object_id="o3"), ["o3"]),
    (Q(data__city="Rome"), ["o4"]),
    (Q(data__city__neq="Rome"), ["o1", "o2", "o3"]),
    (Q(data__rank__gt=2), ["o1", "o4"]),
    (Q(data__rank__gte=2, data__rank__lt=5), ["o1", "o3"]),
    (Q(data__rank__lte=1), ["o2"]),
    (Q(data__rank__in=[1, 5]), ["o2", "o4"]),
    (Q(data__city__in=["Bergen", "Rome"]), ["o1", "o4"]),
    (Q(data__city__contains="ür"), ["o3"]),
    (Q(data__city__icontains="ERG"), ["o1"]),
    (Q(data__city__startswith="P"), ["o2"]),
    (Q(data__city__istartswith="r"), ["o4"]),
    (Q(data__city__endswith="en"), ["o1"]),
    (Q(data__city__iendswith="ME"), ["o4"]),
    (Q(data__active=True), ["o1", "o3"]),
    (Q(data__active=False), ["o2"]),
    (Q(data__active__neq=True), ["o2", "o4"]),
    (Q(data__active__isnull=True), ["o4"]),
    (Q(data__geo__zone__code="Ö"), ["o2", "o3"]),
    (Q(data__geo__zone__code__isnull=False), ["o1", "o2", "o3"]),
    # An empty IN matches nothing; negated, it matches every row, rows holding NULL included.
    (Q(name__in=[]), []),
    (Q(data__active__in=[]), []),
    (~Q(data__active__in=[]), ["o1", "o2", "o3", "o4"]),
    (~Q(name__in=[]) & Q(data__rank__gt=3), ["o4"]),
])
def test_filters_on_latest_versions(history, conditions, expected):
    assert ids(history.query(ALL, conditions=LATEST & conditions, order_by=BY_KEY)) == expected
    assert history.count(ALL, LATEST & conditions) == len(expected)


@pytest.mark.parametrize("order_by, expected", [
    ([OrderBy("name")], ["o1", "o3", "o4", "o2"]),
    ([OrderBy("name", desc=True)], ["o2", "o4", "o3", "o1"]),
    ([OrderBy("data__city")], ["o1", "o2", "o4", "o3"]),
    ([OrderBy("data__rank", desc=True)], ["o4", "o1", "o3", "o2"]),
    ([OrderBy("data__geo__zone__code"), OrderBy("name")], ["o1", "o3", "o2", "o4"]),
    ([OrderBy("team"), OrderBy("name")], ["o2", "o4", "o1", "o3"]),
    ([OrderBy("_metadata__created_at", desc=True)], ["o4", "o3", "o2", "o1"]),
    ([OrderBy("_address__object_id", desc=True)], ["o4", "o3", "o2", "o1"]),
])
def test_ordering_across_class_versions(history, order_by, expected):
    assert ids(history.query(ALL, conditions=LATEST, order_by=order_by)) == expected


def test_only_selects_the_named_fields_and_the_metadata(history):
    records = history.query(ALL, QuerySpecifier(only=["name", "name"]), LATEST, order_by=[OrderBy("name")])
    assert [sorted(record) for record in records] == [["_metadata", "name"]] * 4
    assert [record["name"] for record in records] == ["Anna", "Cleo", "Dan", "bob"]


@pytest.mark.parametrize("specifier, order_by, expected", [
    (QuerySpecifier(only=["team"], distinct=["team"]), None, ["blue", "green", "red"]),
    (QuerySpecifier(distinct=["team"]), [OrderBy("team", desc=True)], ["red", "green", "blue"]),
    # The distinct field is selected even when `only` leaves it out.
    (QuerySpecifier(only=["name"], distinct=["team"]), [OrderBy("name")], ["blue", "green", "red"]),
])
def test_distinct_gives_each_value_once_across_class_versions(history, specifier, order_by, expected):
    records = history.query(ALL, specifier, order_by=order_by)
    assert [record["team"] for record in records] == expected


def test_distinct_keeps_the_first_record_of_each_value_in_the_requested_order(history):
    records = history.query(ALL, QuerySpecifier(distinct=["team"]),
                            order_by=[OrderBy("_metadata__created_at", desc=True)])
    assert [(r["team"], r["partition_key"], r["range_key"]) for r in records] == [
        ("blue", "o4", "1"), ("green", "o4", "3"), ("red", "o3", "1")]
    page = history.query(ALL, QuerySpecifier(distinct=["team"]), pagination=NumberPaginator(limit=2, offset=1))
    assert [record["team"] for record in page] == ["green", "red"]


PAGES = [(2, 0), (2, 1), (3, 2), (2, 5), (5, 6), (2, None), (None, 3), (0, 2), (4, 20)]


@pytest.mark.parametrize("address", [ALL, Address(class_name="Person", class_version="2")])
@pytest.mark.parametrize("limit, offset", PAGES)
def test_a_page_is_the_slice_of_the_merged_sorted_records(history, address, limit, offset):
    order_by = [OrderBy("name", desc=True), OrderBy("range_key")]
    full = history.query(address, order_by=order_by)
    start = offset or 0
    expected = full[start:] if limit is None else full[start:start + limit]
    page = history.query(address, pagination=NumberPaginator(limit=limit, offset=offset), order_by=order_by)
    assert page == expected


@pytest.mark.parametrize("address, conditions, expected", [
    (ALL, None, 7),
    (ALL, LATEST, 4),
    (Address(class_name="Person", class_version="1"), None, 3),
    (Address(class_name="Person"), LATEST, 2),
    (ALL, Q(team="red"), 3),
    (Address(class_name="Nobody", class_version=Versions.ALL), None, 0),
])
def test_count(history, address, conditions, expected):
    assert history.count(address, conditions) == expected
    assert len(history.query(address, conditions=conditions)) == expected


def test_unknown_class_queries_nothing(history):
    assert history.query(Address(class_name="Nobody", class_version=Versions.ALL),
                         pagination=NumberPaginator(limit=1, offset=1)) == []
