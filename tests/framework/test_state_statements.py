"""State statements built by the mixins, run on PostgreSQL."""
import json

import pytest

from nelvor_data.connections.utils import sort_items
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import CursorPaginator, NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q

PEOPLE = [
    {"partition_key": "p1", "name": "Ann", "age": 30, "active": True, 'we"ird': "z",
     "data": {"address": {"city": "Oslo"}, "score": 5}},
    {"partition_key": "p2", "name": "bob", "age": 25, "active": False, "data": {"address": {"city": "Bergen"}, "score": 7}},
    {"partition_key": "p3", "name": "Cleo", "age": None, "active": None, "data": {"address": {"city": "oslo"}}},
    {"partition_key": "p4", "name": "Dan", "age": 30, "active": True, "data": None},
    {"partition_key": "p5", "name": "O'Brien x%y", "age": 41, "active": False, "data": {"score": 1}},
]
FIELDS = {"name": "text", "age": "integer", "active": "boolean", 'we"ird': "text", "data": "json"}


@pytest.fixture
def people(state):
    table = state.table_schema_manager.create_table("Person", "1", FIELDS)
    state.execute(f'DROP TABLE "{table}"')
    state.table_schema_manager.create_table("Person", "1", FIELDS)
    for person in PEOPLE:
        columns = ", ".join('"' + name.replace('"', '""') + '"' for name in person)
        values = [state._to_sql_value(value) for value in person.values()]
        state.execute(f'INSERT INTO "{table}" ({columns}) VALUES ({", ".join(["%s"] * len(person))})', *values)
    return table


def ids(state, table, **select):
    select.setdefault("query_specifier", QuerySpecifier(only=["partition_key"]))
    select.setdefault("order_by", [OrderBy("partition_key")])
    return [row["partition_key"] for row in state.rows(state._build_select_statement(table, **select))]


@pytest.mark.parametrize("conditions, expected", [
    (Q(name="Ann"), ["p1"]),
    (Q(name="Ann", age=30), ["p1"]),
    (Q(age__gt=26), ["p1", "p4", "p5"]),
    (Q(age__in=[25, 41]), ["p2", "p5"]),
    (Q(age__in="[30]"), ["p1", "p4"]),
    (Q(name__icontains="AN"), ["p1", "p4"]),
    (Q(name__startswith="O'B"), ["p5"]),
    (Q(name__contains="x%y"), ["p5"]),
    (Q(active=True), ["p1", "p4"]),
    (Q(active__neq=True), ["p2", "p3", "p5"]),
    (Q(age__isnull=True), ["p3"]),
    (Q(age__isnull=False) & Q(age__lte=25), ["p2"]),
    (Q(name="Ann") | Q(age=25), ["p1", "p2"]),
    (~Q(age=30), ["p2", "p5"]),
    (~(Q(name="Ann") | Q(name="Dan")) & Q(age__gte=25), ["p2", "p5"]),
    (Q(**{'we"ird': "z"}), ["p1"]),
    (Q(data__address__city="Oslo"), ["p1"]),
    (Q(data__address__city__iendswith="LO"), ["p1", "p3"]),
    (Q(data__score__gt=6), ["p2"]),
    (Q(_address__object_version=Versions.ALL) & Q(name="Ann"), ["p1"]),
    (Q(_address__object_version=Versions.ALL), ["p1", "p2", "p3", "p4", "p5"]),
    (Q(), ["p1", "p2", "p3", "p4", "p5"]),
])
def test_conditions(state, people, conditions, expected):
    assert ids(state, people, conditions=conditions) == expected
    statement, params = state._build_count_statement(people, conditions)
    assert int(state.execute(statement, *params).fetchone()[0]) == len(expected)


@pytest.mark.parametrize("order_by", [
    [OrderBy("age")], [OrderBy("age", desc=True)], [OrderBy("age", desc=True), OrderBy("name")],
    [OrderBy("data__score")], [OrderBy("data__score", desc=True), OrderBy("partition_key", desc=True)],
])
def test_database_and_memory_order_agree(state, people, order_by):
    in_memory = [row["partition_key"] for row in sort_items(PEOPLE, order_by)]
    assert ids(state, people, order_by=order_by) == in_memory


@pytest.mark.parametrize("pagination, expected", [
    (NumberPaginator(limit=2, offset=1), ["p2", "p3"]),
    (NumberPaginator(limit=2), ["p1", "p2"]),
    (NumberPaginator(limit=0), []),
    (NumberPaginator(offset=3), ["p1", "p2", "p3", "p4", "p5"]),
    (CursorPaginator(cursor="x", limit=1), ["p1", "p2", "p3", "p4", "p5"]),
])
def test_pagination(state, people, pagination, expected):
    assert ids(state, people, pagination=pagination) == expected


def test_distinct_selection_leads_the_ordering(state, people):
    specifier = QuerySpecifier(only=["name", "age"], distinct={"age"})
    statement = state._build_select_statement(people, specifier, Q(name__neq="bob"), None,
                                              [OrderBy("name", desc=True), OrderBy("age", desc=True)])
    rows = state.rows(statement)
    assert [(row["age"], row["name"]) for row in rows] == [(None, "Cleo"), ("41", "O'Brien x%y"), ("30", "Dan")]
    assert list(rows[0]) == ["age", "name"]


def test_update_statement(state):
    table = state.table_schema_manager.create_table("Account", "1", {"owner": "text", "meta": "json"})
    state.execute(f'INSERT INTO "{table}" (partition_key, owner, "_metadata") VALUES (%s, %s, %s)',
                  "a1", "Ann", json.dumps({"v": 1}))
    address = Address(class_name="Account", object_id="a1")
    for data in ({}, {"owner": "Ann's", "meta": {"tags": ["x"]}}):
        statement, params = state._build_update_statement(address, data)
        state.execute(statement, *params)
    [row] = state.rows((f'SELECT * FROM "{table}"', []))
    assert row["owner"] == "Ann's" and json.loads(row["meta"]) == {"tags": ["x"]}
    assert row["_metadata"] == {"v": 1}
