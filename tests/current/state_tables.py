"""The state table the tests write to, and helpers that read it back with plain SQL."""
from nelvor_utils.models.data_models.address import Address

CLASS_NAME = "Item"
FIELDS = {"name": "text", "n": "integer", "r": "real", "ok": "boolean", "data": "json"}


def address(object_id=None, class_name=CLASS_NAME):
    return Address(class_name=class_name, class_version="1", object_id=object_id)


def table_snapshot(connection, table):
    """Every row of `table` as JSON text, ordered by object id; read with plain SQL,
    not through the operations under test."""
    cursor = connection.execute(f'SELECT to_json(t)::text FROM "{table}" t ORDER BY partition_key')
    return [row[0] for row in cursor.fetchall()]


def stored(connection, table, column, object_id):
    cursor = connection.execute(f'SELECT "{column}" FROM "{table}" WHERE partition_key = %s', object_id)
    return cursor.fetchone()[0]


def create_table(connection, fields=FIELDS, class_name=CLASS_NAME):
    service = connection.table_schema_manager
    name = service.resolve_table_name(address(class_name=class_name))
    connection.execute(f'DROP TABLE IF EXISTS "{name}"')
    return service.create_table(class_name, "1", fields)
