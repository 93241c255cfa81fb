"""A connected historical connection on the module's database, and the history of
history_data written into it."""
import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from history_data import HISTORY, PERSON_COLUMNS, PERSON_FIELDS, write_version  # noqa: E402
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection  # noqa: E402


@pytest.fixture(scope="module")
def ledger(database):
    connection = PostgresImmutableConnection(is_revert_supported=False)
    connection.connect()
    connection.prepare_connection()
    yield connection
    connection.disconnect()


@pytest.fixture(scope="module")
def history(ledger):
    """The tables of both Person versions filled with HISTORY; returns the connection."""
    service = ledger.table_schema_manager
    for class_version in ("1", "2"):
        service.create_table("Person", class_version, PERSON_FIELDS, columns=PERSON_COLUMNS)
    day = 0
    for class_version, object_id, versions in HISTORY:
        prior = None
        for object_version, record in versions:
            day += 1
            write_version(ledger, class_version, object_id, object_version, prior, record,
                          created_at=f"2024-01-{day:02d} 12:00:00")
            prior = object_version
    return ledger
