"""Our two classes, connected to a benchmark database with the classes registered."""
from __future__ import annotations

from typing import Any, Dict

from bench.records import CLASS_VERSION, HISTORICAL_CLASS, HISTORICAL_FIELDS, STATE_CLASS, STATE_FIELDS
from bench.settings import ServerSettings


def open_historical(settings: ServerSettings, database: str, *, revert: bool) -> Any:
    from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
    from nelvor_data.table_schemas.implementations.ledger_store import PostgresImmutableTableSchemaService
    connection = PostgresImmutableConnection(is_revert_supported=revert)
    connection.connect(**settings.class_keywords(database))
    connection.prepare_connection()  # the metadata table
    PostgresImmutableTableSchemaService(connection).create_table(HISTORICAL_CLASS, CLASS_VERSION, HISTORICAL_FIELDS)
    return connection


def open_state(settings: ServerSettings, database: str, *, revert: bool) -> Any:
    from nelvor_data.connections.implementations.current_store import PostgresStateConnection
    from nelvor_data.table_schemas.implementations.current_store import PostgresStateTableSchemaService
    connection = PostgresStateConnection(is_revert_supported=revert)
    connection.connect(**settings.class_keywords(database))
    PostgresStateTableSchemaService(connection).create_table(STATE_CLASS, CLASS_VERSION, STATE_FIELDS)
    return connection


class Stores:
    """One connection per (store, revert flag), opened on first use."""

    def __init__(self, settings: ServerSettings, database: str) -> None:
        self._settings = settings
        self._database = database
        self._open: Dict[tuple, Any] = {}

    def get(self, store: str, revert: bool) -> Any:
        key = (store, revert)
        if key not in self._open:
            opener = open_historical if store == "historical" else open_state
            self._open[key] = opener(self._settings, self._database, revert=revert)
        return self._open[key]

    def close(self) -> None:
        for connection in self._open.values():
            connection.disconnect()
        self._open.clear()
