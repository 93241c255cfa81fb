"""Table naming and creation for one store, run through that store's connection."""
import re
from abc import ABC, abstractmethod
from typing import Any, Dict, List, Optional

from nelvor_data.connections.constants import INTERNAL_CLASS_NAMES
from nelvor_data.connections.identifiers import quote_identifier
from nelvor_data.table_schemas.manager import TableSchemasManager
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions

VERSION_INFIX = "_v_"
# Type texts are written into DDL as they are; allow only what type names are made of.
_SQL_TYPE = re.compile(r"[A-Za-z_][A-Za-z0-9_ ,.()\[\]]*\Z")


def sql_type(type_text: str) -> str:
    if not isinstance(type_text, str) or not _SQL_TYPE.match(type_text.strip()):
        raise ValueError(f"Not an SQL type name: {type_text!r}")
    return type_text.strip()


class TableSchemaServiceBase(ABC):
    """Built with the connection instance; runs its SQL through ``connection.execute``."""

    def __init__(self, connection: Any) -> None:
        self.connection = connection

    def resolve_table_name(self, address: Address) -> str:
        class_name = address.class_name.lower()
        if class_name in INTERNAL_CLASS_NAMES:
            return class_name
        class_version = address.class_version
        if class_version == Versions.ALL:
            raise ValueError(f"No single table holds all versions of class {address.class_name}")
        if class_version == Versions.LATEST:
            class_version = TableSchemasManager().latest_version(class_name)
            if class_version is None:
                raise ValueError(f"Class {address.class_name} has no registered version")
        return f"{class_name}{VERSION_INFIX}{class_version}"

    def create_table(self, class_name: str, class_version: Any, fields: Dict[str, str],
                     columns: Optional[Dict[str, str]] = None) -> str:
        """Create the table of a class version if missing and register its field maps.
        Returns the table name."""
        if class_version == Versions.LATEST or class_version == Versions.ALL:
            raise ValueError(f"A table is created for a concrete class version, not {class_version}")
        columns = columns or {}
        fields_map = {field: columns.get(field, field) for field in fields}
        column_names = list(fields_map.values()) + self._key_columns()
        if len(set(column_names)) != len(column_names):
            raise ValueError(f"Column names of {class_name} collide: {column_names}")
        table_name = self.resolve_table_name(Address(class_name=class_name, class_version=str(class_version)))
        definitions = self._key_definitions() + [
            f"{quote_identifier(fields_map[field])} {sql_type(type_text)}" for field, type_text in fields.items()]
        definitions += self._trailing_definitions()
        self._execute(f"CREATE TABLE IF NOT EXISTS {quote_identifier(table_name)} ({', '.join(definitions)})")
        TableSchemasManager().register(class_name, class_version, fields_map)
        return table_name

    def register_internal_tables(self) -> None:
        """Create the tables the store keeps for itself; none by default."""

    def _execute(self, statement: str, *params: Any) -> Any:
        return self.connection.execute(statement, *params)

    @abstractmethod
    def _key_columns(self) -> List[str]:
        """Columns every table of this store has besides the fields."""

    @abstractmethod
    def _key_definitions(self) -> List[str]:
        """Column definitions placed before the fields."""

    def _trailing_definitions(self) -> List[str]:
        return []
