"""Tables of the state store: one row per object, keyed by the object id."""
from typing import List

from nelvor_data.connections.constants import METADATA_FIELD, PRIMARY_PARTITION_KEY
from nelvor_data.connections.identifiers import quote_identifier
from nelvor_data.table_schemas.base import TableSchemaServiceBase


class PostgresStateTableSchemaService(TableSchemaServiceBase):

    def _key_columns(self) -> List[str]:
        return [PRIMARY_PARTITION_KEY, METADATA_FIELD]

    def _key_definitions(self) -> List[str]:
        return [f"{quote_identifier(PRIMARY_PARTITION_KEY)} text PRIMARY KEY"]

    def _trailing_definitions(self) -> List[str]:
        return [f"{quote_identifier(METADATA_FIELD)} json"]
