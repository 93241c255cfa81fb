"""Historical statements built by the mixins, run on PostgreSQL."""
import pytest

from nelvor_data.table_schemas.manager import TableSchemasManager
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.utils import Q

CONDITIONS = Q(name="Ann")


@pytest.mark.parametrize("address, expected", [
    (Address(class_name="Person"), ["10"]),
    (Address(class_name="Person", class_version=Versions.ALL), ["1", "2", "10"]),
    (Address(class_name="Person", class_version="2"), ["2"]),
    (Address(class_name="Person", class_version="7"), ["7"]),
    (Address(class_name="Nobody"), []),
    (Address(class_name="Nobody", class_version=Versions.ALL), []),
    (Address(class_name="Transaction"), [Versions.LATEST]),
])
def test_queries_by_version(history, address, expected):
    for version in ("10", "1", "2"):
        TableSchemasManager().register("Person", version)
    split = history._build_queries_by_version(address, CONDITIONS)
    assert list(split) == expected and all(conditions is CONDITIONS for conditions in split.values())


@pytest.fixture
def metadata(history):
    history.table_schema_manager.register_internal_tables()
    history.execute("TRUNCATE metadata")
    for object_id, version, prior in [("o1", "v1", None), ("o1", "v2", "v1"), ("o2", "v1", None)]:
        history.execute("INSERT INTO metadata (object_id, object_version, prior_version, address, is_deleted) "
                        "VALUES (%s, %s, %s, %s, %s)", object_id, version, prior, '{"class_name": "Person"}', False)
    return "metadata"


@pytest.mark.parametrize("conditions, order_by, pagination, expected", [
    (Q(partition_key="o1"), [OrderBy("range_key", desc=True)], None, [("o1", "v2"), ("o1", "v1")]),
    (Q(prior_version__isnull=True), [OrderBy("partition_key")], None, [("o1", "v1"), ("o2", "v1")]),
    (Q(address__class_name="Person") & ~Q(object_id="o2"), [OrderBy("range_key")], NumberPaginator(1, 1),
     [("o1", "v2")]),
])
def test_internal_table_select_maps_key_names(history, metadata, conditions, order_by, pagination, expected):
    statement, params = history._select_statement(metadata, select_only="*", conditions=conditions,
                                                  pagination=pagination, order_by=order_by, is_internal_table=True)
    cursor = history.execute(statement, *params)
    names = [column[0] for column in cursor.description]
    records = [history._process_result(metadata, dict(zip(names, row)), {}) for row in cursor.fetchall()]
    assert [(record["partition_key"], record["range_key"]) for record in records] == expected
    count_statement, count_params = history._build_count_statement(metadata, conditions, use_internal_meta_tables=True)
    assert int(history.execute(count_statement, *count_params).fetchone()[0]) >= len(expected)


def test_versioned_table_uses_mapped_columns(history):
    table = history.table_schema_manager.create_table("Person", "1", {"name": "text"}, columns={"name": "full_name"})
    history.execute(f'INSERT INTO "{table}" VALUES (%s, %s, %s), (%s, %s, %s)', "o1", "v1", "Ann", "o2", "v1", "Bob")
    statement, params = history._select_statement(table, select_only="*", conditions=Q(name__in=["Ann", "Bob"]),
                                                  order_by=[OrderBy("name", desc=True)])
    cursor = history.execute(statement, *params)
    names = [column[0] for column in cursor.description]
    records = [history._process_result(table, dict(zip(names, row)), {}) for row in cursor.fetchall()]
    assert [list(record) for record in records] == [["partition_key", "range_key", "name"]] * 2
    assert [record["name"] for record in records] == ["Bob", "Ann"]
    count_statement, count_params = history._build_count_statement(table, Q(name="Ann"))
    assert history.execute(count_statement, *count_params).fetchone() == ("1",)
