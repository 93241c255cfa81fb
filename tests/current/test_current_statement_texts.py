"""Statement texts of the state store's own builders."""
import pytest

from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import CursorPaginator, NumberPaginator
from nelvor_utils.query.utils import Q

from state_tables import address


@pytest.fixture
def table_t(connection):
    connection.execute('DROP TABLE IF EXISTS "t"')
    connection.execute('CREATE TABLE "t" (partition_key text, a integer, b text, "order" text, '
                       '"My Col" text, "we""ird" text, "Name" text, name text)')
    connection._get_table_name = lambda _address: "t"
    return "t"


def test_bulk_update_text_for_plain_names(connection, table_t):
    statement, params = connection._build_bulk_update_statement(
        [(address("k1"), {"a": 1, "b": "x"}), (address("k2"), {"a": 2})])
    assert statement == (
        'UPDATE "t" SET "a" = data_table.a, "b" = data_table.b FROM (SELECT unnest(%s::text[]) as partition_key, '
        'unnest(%s::integer[]) as a, unnest(%s::text[]) as b) as data_table '
        'WHERE "t".partition_key = data_table.partition_key')
    assert params == (["k1", "k2"], [1, 2], ["x", None])


def quoted(name):
    return '"' + name.replace('"', '""') + '"'


@pytest.mark.parametrize("record, references", [
    ({"order": "new"}, ['"order"']),
    ({"My Col": "new"}, ['"My Col"']),
    ({'we"ird': "new"}, ['"we""ird"']),
    ({"Name": "new", "name": "other"}, ['"Name"', "name"]),
])
def test_bulk_update_quotes_names_that_need_it_alike_everywhere(connection, table_t, record, references):
    connection.execute('INSERT INTO "t" (partition_key) VALUES (%s)', "k1")
    statement, params = connection._build_bulk_update_statement([(address("k1"), record)])
    for field, reference in zip(record, references):
        assert f"{quoted(field)} = data_table.{reference}" in statement
        assert f"[]) as {reference}" in statement
    connection.execute(statement, *params)
    columns = ", ".join(quoted(field) for field in record)
    assert connection.execute(f'SELECT {columns} FROM "t"').fetchall() == [tuple(record.values())]


def test_bulk_delete_text(connection):
    statement, params = connection._build_bulk_delete_statement(
        "t", [{"partition_key": "k1"}, {"partition_key": "k2"}, {"a": 1, "b": "x%"}])
    assert statement == ('DELETE FROM "t" WHERE ("partition_key" = %s) OR ("partition_key" = %s) '
                         'OR ("a" = %s AND "b" = %s)')
    assert params == ("k1", "k2", 1, "x%")
    with pytest.raises(TypeError, match="table_name"):
        connection._build_bulk_delete_statement(1, [])


@pytest.mark.parametrize("options, tail, params", [
    ({}, "", []),
    ({"pagination": NumberPaginator(limit=10)}, " LIMIT %s OFFSET %s", [10, 0]),
    ({"pagination": NumberPaginator(limit=0, offset=5)}, " LIMIT %s OFFSET %s", [0, 5]),
    ({"pagination": NumberPaginator(offset=5)}, "", []),
    ({"pagination": CursorPaginator(cursor="c", limit=3)}, "", []),
    ({"order_by": []}, "", []),
    ({"conditions": Q()}, "", []),
    ({"conditions": Q(_address__object_version="3")}, "", []),
    ({"conditions": Q(a__gt=1), "order_by": [OrderBy("b", desc=True)], "pagination": NumberPaginator(2, 4)},
     ' WHERE t1."a" > %s ORDER BY t1."b" DESC LIMIT %s OFFSET %s', [1, 2, 4]),
    ({"conditions": Q(a=1), "is_internal_table": True}, ' WHERE "a" = %s', [1]),
])
def test_select_statement(connection, options, tail, params):
    statement, parameters = connection._select_statement('t"x', "*", **options)
    assert statement == 'SELECT * FROM "t""x" t1' + tail
    assert parameters == params


def test_select_statement_takes_positional_arguments(connection):
    assert connection._select_statement("t", "a", Q(a=1), NumberPaginator(1), [OrderBy("a")]) == (
        'SELECT a FROM "t" t1 WHERE t1."a" = %s ORDER BY t1."a" LIMIT %s OFFSET %s', [1, 1, 0])
    with pytest.raises(TypeError):
        connection._select_statement("t", "*", None, None, None, True)  # is_internal_table is keyword-only


@pytest.mark.parametrize("value_type, expected", [
    (bool, """cast((t1."data"::json->'a'->>'b')::text as boolean)"""),
    (int, """cast((t1."data"::json->'a'->>'b')::text as integer)"""),
    (str, """cast((t1."data"::json->'a'->>'b')::text as text)"""),
])
def test_nested_field_expression(connection, value_type, expected):
    assert connection._resolve_nested_field_name("t", "data", "a__b", value_type) == expected
