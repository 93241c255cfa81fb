"""The module's metadata texts: the derived metadata table and the _metadata select item,
which the state variant builds without 'class_meta_schema_reference'."""
import re

from nelvor_data.connections.constants import METADATA_TABLE_ALIAS
from nelvor_data.connections.implementations import current_store

KEYS = ["next_version", "address", "object_id", "object_version", "prior_version", "class_schema_reference",
        "class_schema_type", "is_deleted", "created_at", "updated_at", "transaction"]


def test_metadata_field_has_the_eleven_state_members_in_order():
    field = current_store.METADATA_SELECT_FIELD
    assert field.startswith("\njson_build_object(\n") and field.endswith("\n) AS _metadata\n")
    assert re.findall(r"^    '(\w+)', ", field, re.MULTILINE) == KEYS
    assert field.count(f"{METADATA_TABLE_ALIAS}.") == 11
    assert "class_meta_schema_reference" not in field


def test_metadata_texts_select_each_version_with_its_successor(connection):
    connection.execute("DROP TABLE IF EXISTS metadata")
    connection.execute("CREATE TABLE metadata (object_id text, object_version text, prior_version text, "
                       "address json, class_schema_reference text, class_schema_type text, is_deleted boolean, "
                       "created_at text, updated_at text, transaction json)")
    connection.execute("INSERT INTO metadata (object_id, object_version, prior_version, transaction) VALUES "
                       "('o', '1', NULL, '{\"id\": 7}'), ('o', '2', '1', NULL)")
    statement = current_store.METADATA_SELECT_STATEMENT
    assert statement.startswith("\nSELECT\n  _m.*,\n") and statement.endswith("FROM metadata as _m\n")
    rows = connection.execute(
        f"SELECT {current_store.METADATA_SELECT_FIELD} FROM ({statement}) AS {METADATA_TABLE_ALIAS} "
        f"GROUP BY {METADATA_TABLE_ALIAS}.object_version ORDER BY {METADATA_TABLE_ALIAS}.object_version").fetchall()
    first, second = (row[0] for row in rows)
    assert list(first) == KEYS
    assert (first["next_version"], first["transaction"]) == ("2", {"id": 7})
    assert (second["next_version"], second["prior_version"]) == (None, "1")
