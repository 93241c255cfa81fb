"""Typed use of both classes: mypy checks it against the stubs shipped with the modules.

Never run, only type-checked (tests/packaging/test_typing.py).
"""
from __future__ import annotations

from typing import Any

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q


def history(connection: PostgresImmutableConnection) -> int:
    connection.connect(host="localhost", port="5432", prepare_threshold=None)
    connection.prepare_connection()
    connection.table_schema_manager.create_table("Note", "1", {"title": "text"})
    note = Address(class_name="Note", class_version="1", object_id="n1", object_version="1")
    connection.begin()
    connection.put(note, {"title": "Draft"})
    connection.bulk_put([(note, {"title": "Draft"})])
    connection.commit()
    records: list[dict[str, Any]] = connection.query(
        Address(class_name="Note"), QuerySpecifier(only=["title"]),
        Q(_address__object_version=Versions.LATEST) & Q(title__startswith="D"),
        NumberPaginator(limit=10, offset=0), [OrderBy("range_key", desc=True)])
    latest: int = connection.count(Address(class_name="Note"), Q(_address__object_id="n1"))
    connection.disconnect()
    return len(records) + latest


def state(connection: PostgresStateConnection) -> int:
    connection.connect()
    city = Address(class_name="City", class_version="1", object_id="osl")
    try:
        connection.begin()
        connection.insert(city, {"name": "Oslo"})
        connection.update(city, {"population": 709000})
        connection.bulk_insert([(city, {"name": "Oslo"})])
        connection.bulk_update([(city, {"population": 1})])
        connection.bulk_delete([city])
        connection.delete(city)
        connection.revert()
        connection.commit()
    except NelvorConnectionError as error:
        print(error.__cause__)
        connection.rollback()
    row = connection.execute("SELECT %s::int", 1).fetchone()
    print(row)
    rows = connection.query(city, conditions=Q(info__country="NO"))
    return connection.count(city) + len(rows)
