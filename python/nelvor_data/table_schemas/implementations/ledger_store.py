"""Tables of the historical store: every object version is a row keyed by id and version."""
from typing import List

from nelvor_data.connections.constants import PRIMARY_PARTITION_KEY, SECONDARY_PARTITION_KEY
from nelvor_data.connections.identifiers import quote_identifier
from nelvor_data.table_schemas.base import TableSchemaServiceBase
from nelvor_data.table_schemas.manager import TableSchemasManager

METADATA_TABLE = "metadata"
METADATA_SCHEMA_VERSION = "1"
METADATA_COLUMNS = (
    ("object_id", "text"),
    ("object_version", "text"),
    ("prior_version", "text"),
    ("address", "json"),
    ("class_schema_reference", "json"),
    ("class_meta_schema_reference", "json"),
    ("class_schema_type", "text"),
    ("is_deleted", "boolean"),
    ("created_at", "timestamp"),
    ("updated_at", "timestamp"),
    ("transaction", "json"),
)
# The metadata rows are found by the same key names as object rows.
METADATA_KEY_MAP = {PRIMARY_PARTITION_KEY: "object_id", SECONDARY_PARTITION_KEY: "object_version"}


class PostgresImmutableTableSchemaService(TableSchemaServiceBase):

    def _key_columns(self) -> List[str]:
        return [PRIMARY_PARTITION_KEY, SECONDARY_PARTITION_KEY]

    def _key_definitions(self) -> List[str]:
        return [f"{quote_identifier(PRIMARY_PARTITION_KEY)} text", f"{quote_identifier(SECONDARY_PARTITION_KEY)} text"]

    def _trailing_definitions(self) -> List[str]:
        keys = ", ".join(quote_identifier(column) for column in self._key_columns())
        return [f"PRIMARY KEY ({keys})"]

    def register_internal_tables(self) -> None:
        columns = ", ".join(f"{quote_identifier(name)} {type_text}" for name, type_text in METADATA_COLUMNS)
        table = quote_identifier(METADATA_TABLE)
        self._execute(f'CREATE TABLE IF NOT EXISTS {table} ({columns}, PRIMARY KEY ("object_id", "object_version"))')
        # The next version of a row is looked up by (object_id, prior_version) on every read.
        self._execute(f'CREATE INDEX IF NOT EXISTS "metadata_object_id_prior_version_idx" '
                      f'ON {table} ("object_id", "prior_version")')
        TableSchemasManager().register(METADATA_TABLE, METADATA_SCHEMA_VERSION, METADATA_KEY_MAP)
