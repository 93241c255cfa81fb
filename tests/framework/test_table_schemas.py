import pytest

from nelvor_data.table_schemas.implementations.current_store import PostgresStateTableSchemaService
from nelvor_data.table_schemas.implementations.ledger_store import PostgresImmutableTableSchemaService
from nelvor_data.table_schemas.manager import TableSchemasManager
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions


def columns_of(connection, table):
    cursor = connection.execute(
        "SELECT column_name, data_type FROM information_schema.columns WHERE table_name = %s ORDER BY ordinal_position",
        table)
    return dict(cursor.fetchall())


def test_registry_orders_versions_naturally_and_resolves_latest():
    manager = TableSchemasManager()
    for version in ["9", "10", "2"]:
        manager.register("Person", version, {"name": f"name_{version}"})
    assert TableSchemasManager().versions("person") == ["2", "9", "10"]
    assert manager.get_schemas_map("person", Versions.LATEST) == {"name": "name_10"}
    assert manager.get_schemas_reverse_map("person", "9") == {"name_9": "name"}
    assert manager.get_schemas_map("person", "77") == {} == manager.get_schemas_map("nobody", Versions.LATEST)


@pytest.mark.parametrize("address, expected", [
    (Address(class_name="Person", class_version="1"), "person_v_1"),
    (Address(class_name="Person"), "person_v_10"),
    (Address(class_name="MetaData", class_version="3"), "metadata"),
    (Address(class_name="Transaction"), "transaction"),
    (Address(class_name="reference"), "reference"),
])
def test_resolve_table_name(address, expected):
    TableSchemasManager().register("person", "9")
    TableSchemasManager().register("person", "10")
    assert PostgresStateTableSchemaService(None).resolve_table_name(address) == expected


@pytest.mark.parametrize("version", [Versions.LATEST, Versions.ALL])
def test_resolve_table_name_needs_a_known_single_version(version):
    with pytest.raises(ValueError, match="Unknown|no registered|all versions"):
        PostgresImmutableTableSchemaService(None).resolve_table_name(Address(class_name="Unknown", class_version=version))


def test_historical_table_with_column_map(history):
    service = history.table_schema_manager
    fields = {"name": "text", "age": "integer", 'odd"name': "json"}
    for _ in range(2):  # creating again changes nothing
        table = service.create_table("Person", "1", fields, columns={"name": "full_name"})
    assert table == "person_v_1"
    assert columns_of(history, table) == {"partition_key": "text", "range_key": "text", "full_name": "text",
                                          "age": "integer", 'odd"name': "json"}
    history.execute('INSERT INTO "person_v_1" (partition_key, range_key) VALUES (%s, %s)', "id1", "v1")
    with pytest.raises(Exception, match="duplicate key"):
        history.execute('INSERT INTO "person_v_1" (partition_key, range_key) VALUES (%s, %s)', "id1", "v1")
    assert history._fields_map("person_v_1", "name", Versions.LATEST) == "full_name"
    assert history._field_reverse_map("person_v_1", "full_name", "1") == "name"


def test_state_table(state):
    table = state.table_schema_manager.create_table("Account", 2, {"balance": "numeric(12, 2)", "tags": "text[]"})
    assert columns_of(state, table) == {"partition_key": "text", "balance": "numeric", "tags": "ARRAY",
                                        "_metadata": "json"}
    assert state.table_schema_manager.resolve_table_name(Address(class_name="Account")) == "account_v_2"


@pytest.mark.parametrize("fields, columns", [
    ({"a": "text; DROP TABLE x"}, None),
    ({"a": "text", "b": "text"}, {"b": "a"}),
    ({"range_key": "text"}, None),
])
def test_unsafe_or_colliding_definitions_are_rejected(history, fields, columns):
    with pytest.raises(ValueError):
        history.table_schema_manager.create_table("Bad", "1", fields, columns)
    assert TableSchemasManager().versions("bad") == []


def test_internal_tables(history):
    for _ in range(2):
        history.table_schema_manager.register_internal_tables()
    columns = columns_of(history, "metadata")
    assert list(columns) == ["object_id", "object_version", "prior_version", "address", "class_schema_reference",
                             "class_meta_schema_reference", "class_schema_type", "is_deleted", "created_at",
                             "updated_at", "transaction"]
    index = history.execute("SELECT indexdef FROM pg_indexes WHERE tablename = 'metadata' AND indexdef LIKE %s",
                            "%prior_version%").fetchall()
    assert len(index) == 1 and "(object_id, prior_version)" in index[0][0]
    assert TableSchemasManager().get_schemas_map("metadata", Versions.LATEST) == {
        "partition_key": "object_id", "range_key": "object_version"}
