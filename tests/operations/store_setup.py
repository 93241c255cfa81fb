"""Tables created the way a deployment creates them: through each class's schema
service, on an instance connected for that purpose only."""
from __future__ import annotations

from collections.abc import Mapping

from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection


def create_class_tables(historical_class: str, state_class: str, fields: Mapping[str, str], **connect) -> None:
    """The metadata table and one table of each class (version 1); `connect`: connect()'s arguments."""
    for connection_class, class_name in ((PostgresImmutableConnection, historical_class),
                                         (PostgresStateConnection, state_class)):
        schema_owner = connection_class()
        schema_owner.connect(**connect)
        try:
            schema_owner.prepare_connection()
            schema_owner.table_schema_manager.create_table(class_name, "1", dict(fields))
        finally:
            schema_owner.disconnect()
