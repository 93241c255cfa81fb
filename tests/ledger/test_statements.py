"""Statement texts of the historical select builders, their argument checks and the page cut."""
import logging

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations import ledger_store
from nelvor_data.connections.implementations.ledger_store import (
    METADATA_SELECT_FIELD, METADATA_SELECT_STATEMENT, PostgresImmutableConnection)
from nelvor_data.table_schemas.manager import TableSchemasManager
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import CursorPaginator, NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q

STATEMENT = """
SELECT
  _m.*,
  trim('"' FROM (
    SELECT cast(_m2.object_version as text)
    FROM metadata as _m2
    WHERE
        _m.object_version = _m2.prior_version
        AND
        _m.object_id = _m2.object_id
    LIMIT 1
  )::text) as next_version
FROM metadata as _m
"""
FIELD = """
json_build_object(
    'next_version', json_agg(m."next_version")->0,
    'address', json_agg(to_json(m.address))->0,
    'object_id', json_agg(m.object_id)->0,
    'object_version', json_agg(m.object_version)->0,
    'prior_version', json_agg(m.prior_version)->0,
    'class_schema_reference', json_agg(to_json(m.class_schema_reference))->0,
    'class_meta_schema_reference', json_agg(to_json(m.class_meta_schema_reference))->0,
    'class_schema_type', json_agg(m.class_schema_type)->0,
    'is_deleted', json_agg(m.is_deleted)->0,
    'created_at', json_agg(m.created_at)->0,
    'updated_at', json_agg(m.updated_at)->0,
    'transaction', json_agg(to_json(m."transaction"))->0
) AS _metadata
"""
JOIN = (" AS t1 JOIN (" + STATEMENT + ") AS m ON t1.partition_key = m.object_id"
        " AND t1.range_key = m.object_version")
GROUP = " GROUP BY t1.partition_key, t1.range_key"
PAGE = " LIMIT %s OFFSET %s"
CITY = "cast(t1.\"data\"::json->>'city' as text)"


@pytest.fixture
def builder():
    TableSchemasManager().register("Person", "1", {"name": "full_name"})
    yield PostgresImmutableConnection()
    TableSchemasManager.clear()


def test_metadata_texts():
    assert METADATA_SELECT_STATEMENT == STATEMENT
    assert METADATA_SELECT_FIELD == FIELD


@pytest.mark.parametrize("select_only, kwargs, tail, params", [
    ("t1.*", {"pagination": NumberPaginator(10)}, GROUP + PAGE, [10, 0]),
    ("t1.*", {"pagination": NumberPaginator(10, 0)}, GROUP + PAGE, [10, 0]),
    ("t1.*", {"pagination": NumberPaginator(10, 5)}, GROUP + PAGE, [10, 5]),
    ("t1.*", {"pagination": NumberPaginator(None, 5)}, GROUP, []),
    ("t1.*", {"conditions": Q()}, GROUP, []),
    ("t1.*", {"conditions": Q(_address__object_version=Versions.ALL)}, GROUP, []),
    ("t1.*", {"conditions": Q(name="x"), "order_by": [OrderBy("name", desc=True)], "pagination": NumberPaginator(3)},
     ' WHERE t1."full_name" = %s' + GROUP + ', t1."full_name" ORDER BY t1."full_name" DESC' + PAGE, ["x", 3, 0]),
    ("t1.*", {"conditions": Q(data__a__b=1)}, " WHERE cast(t1.\"data\"::json->'a'->>'b' as integer) = %s" + GROUP, [1]),
    ("t1.*", {"conditions": Q(_address__object_version=Versions.LATEST)},
     " WHERE (m.\"next_version\" IS NULL OR m.\"next_version\" = '')" + GROUP, []),
    ("COUNT(*)", {"order_by": [OrderBy("a")]}, ' ORDER BY t1."a"', []),
    # Only a counting select list goes ungrouped, not any statement that spells COUNT.
    ("t1.*", {"conditions": Q(ACCOUNT="x")}, ' WHERE t1."ACCOUNT" = %s' + GROUP, ["x"]),
])
def test_joined_select(builder, select_only, kwargs, tail, params):
    statement, got = builder._select_with_internal_meta_statement("person_v_1", select_only, **kwargs)
    assert (statement, got) == (f'SELECT {select_only} FROM "person_v_1"' + JOIN + tail, params)


@pytest.mark.parametrize("order_by, kwargs, tail", [
    (None, {}, ""),
    ([], {}, ""),
    ([OrderBy("a"), OrderBy("b", desc=True)], {}, ', t1."a", t1."b"'),
    ([OrderBy("name")], {}, ', t1."full_name"'),
    ([OrderBy('we"ird%')], {}, ', t1."we""ird%%"'),
    ([OrderBy("data__city")], {}, ", " + CITY),
    ([OrderBy("_metadata__created_at")], {"use_internal_meta_tables": True}, ', m."created_at"'),
    ([OrderBy("_address__object_version")], {"use_internal_meta_tables": True}, ', t1."range_key"'),
])
def test_group_by(builder, order_by, kwargs, tail):
    assert builder._build_group_by_statement("person_v_1", order_by, **kwargs) == GROUP + tail


@pytest.mark.parametrize("table, specifier, order_by, kwargs, expected", [
    ("order_reference", QuerySpecifier(only=["b", "a", "a"]), None, {"use_internal_meta_tables": True},
     'SELECT "a", "b" FROM "order_reference" t1'),
    ("person", QuerySpecifier(only=["b", "a", "a"]), None, {},
     'SELECT "_metadata", "a", "b" FROM "person" t1'),
    ("person_v_1", QuerySpecifier(only=["name"]), None, {}, 'SELECT "_metadata", "full_name" FROM "person_v_1" t1'),
    ("order_reference", QuerySpecifier(only=["a"], distinct=["a"]), [OrderBy("b")], {},
     'SELECT DISTINCT ON ("a") "a" FROM "order_reference" t1 ORDER BY "a", "b"'),
    ("person", QuerySpecifier(only=["b", "a"], distinct=["b"]), None, {"use_internal_meta_tables": True},
     'SELECT DISTINCT ON (t1."b") t1."a", t1."b", ' + FIELD + ' FROM "person"' + JOIN + GROUP + ', t1."b" ORDER BY t1."b"'),
    ("person", QuerySpecifier(distinct=["data__city"]), [OrderBy("a"), OrderBy("data__city", desc=True)],
     {"use_internal_meta_tables": True},
     f'SELECT DISTINCT ON ({CITY}) t1.*, ' + FIELD + ' FROM "person"' + JOIN + GROUP + f", {CITY}, t1.\"a\""
     f' ORDER BY {CITY} DESC, t1."a"'),
    ("metadata_archive", QuerySpecifier(only=[]), None, {"use_internal_meta_tables": True},
     'SELECT t1.*, ' + FIELD + ' FROM "metadata_archive"' + JOIN + GROUP),
    ("person", QuerySpecifier(only=["_metadata", "a"]), None, {"use_internal_meta_tables": True},
     'SELECT t1."a", ' + FIELD + ' FROM "person"' + JOIN + GROUP),
    ('pe"rs%on', None, None, {"use_internal_meta_tables": True},
     'SELECT t1.*, ' + FIELD + ' FROM "pe""rs%%on"' + JOIN + GROUP),
])
def test_select_statement(builder, table, specifier, order_by, kwargs, expected):
    statement, params = builder._build_select_statement(table, specifier, None, None, order_by, **kwargs)
    assert (statement, params) == (expected, [])


def test_cursor_pagination_is_refused(builder):
    with pytest.raises(NelvorConnectionError, match="^Cursor pagination is not supported$"):
        builder._build_select_statement("person", pagination=CursorPaginator("c"), use_internal_meta_tables=True)
    with pytest.raises(NelvorConnectionError, match="^Cursor pagination is not supported$"):
        builder.query(Address(class_name="Person", class_version="1"), pagination=CursorPaginator("c"))


@pytest.mark.parametrize("call, argument", [
    (lambda c: c._select_with_internal_meta_statement(5, "t1.*"), "table_name"),
    (lambda c: c._select_with_internal_meta_statement("t", 5), "select_only"),
    (lambda c: c._build_group_by_statement(5, None), "table_name"),
    (lambda c: c._build_select_statement(b"t"), "table_name"),
    (lambda c: c._query(5, None, None, None, None), "table_name"),
    (lambda c: c._paginate_items((1, 2), None), "items"),
    (lambda c: c.put(Address(class_name="Person"), [("name", "x")]), "data"),
    (lambda c: c.bulk_put(()), "data"),
    (lambda c: c._add_revert_data(Address(class_name="Person"), 5), "data"),
    (lambda c: c._fields_map(5, "a", Versions.LATEST), "table_name"),
])
def test_argument_types(builder, call, argument):
    with pytest.raises(TypeError, match=f"'{argument}'"):
        call(builder)


@pytest.mark.parametrize("call", [
    lambda c: c._build_group_by_statement("t", None, True),
    lambda c: c._build_select_statement("t", None, None, None, None, True),
])
def test_keyword_only_flags(builder, call):
    with pytest.raises(TypeError):
        call(builder)


@pytest.mark.parametrize("pagination, expected", [
    (NumberPaginator(2, 1), [2, 3]),
    (NumberPaginator(2, None), [1, 2]),
    (NumberPaginator(None, 3), [4, 5]),
    (NumberPaginator(None, None), [1, 2, 3, 4, 5]),
    (NumberPaginator(3, 4), [5]),
    (NumberPaginator(2, 9), []),
    (None, [1, 2, 3, 4, 5]),
])
def test_paginate_items(pagination, expected):
    assert PostgresImmutableConnection._paginate_items([1, 2, 3, 4, 5], pagination) == expected


def test_cursor_paginator_is_ignored_with_a_warning(caplog):
    items = [1, 2]
    with caplog.at_level(logging.WARNING, logger=ledger_store.logger.name):
        assert PostgresImmutableConnection._paginate_items(items, CursorPaginator("c")) is items
    assert [r.getMessage() for r in caplog.records] == [
        "The cursor pagination is not supported by SQLite. It will be ignored."]


def test_field_maps(builder):
    assert builder._fields_map("Person_v_7", "name", Versions.LATEST) == "full_name"
    assert builder._field_reverse_map("person_v_1", "full_name", "1") == "name"
    assert builder._fields_map("person", "age", "9") == "age"
    assert builder._fields_map("other", "name", Versions.LATEST) == "name"
