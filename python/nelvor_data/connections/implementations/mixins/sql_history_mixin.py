"""SQL building of the historical store: one table per class version, metadata joined."""
from typing import Any, Dict, Mapping, Optional, Sequence

from nelvor_data.connections.constants import INTERNAL_CLASS_NAMES
from nelvor_data.connections.identifiers import is_internal_table
from nelvor_data.connections.implementations.mixins.sqlite_statements_mixin import SqlStatementsMixin, Statement
from nelvor_data.table_schemas.manager import TableSchemasManager
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.utils import Q


class SqlHistoryConnectionMixin(SqlStatementsMixin):

    def _build_queries_by_version(self, address: Address, conditions: Optional[Q]) -> Dict[Any, Optional[Q]]:
        """The conditions to run against each class version the address stands for."""
        class_name = address.class_name.lower()
        if class_name in INTERNAL_CLASS_NAMES:
            return {address.class_version: conditions}
        manager = TableSchemasManager()
        if address.class_version == Versions.ALL:
            versions = manager.versions(class_name)
        elif address.class_version == Versions.LATEST:
            latest = manager.latest_version(class_name)
            versions = [] if latest is None else [latest]
        else:
            versions = [address.class_version]
        return {version: conditions for version in versions}

    def _select_statement(self, table_name: str, *, select_only: str, conditions: Optional[Q] = None,
                          pagination: Any = None, order_by: Optional[Sequence] = None,
                          is_internal_table: bool = False) -> Statement:
        return self._build_plain_select_statement(table_name, select_only, conditions, pagination, order_by,
                                                  is_internal_table=is_internal_table)

    def _build_count_statement(self, table_name: str, conditions: Optional[Q],
                               use_internal_meta_tables: bool = False) -> Statement:
        internal = is_internal_table(table_name)
        if use_internal_meta_tables and not internal:
            return self._select_with_internal_meta_statement(table_name, "COUNT(*)", conditions)
        return self._build_plain_count_statement(table_name, conditions, is_internal_table=internal)

    def _result_field_names(self, table_name: str) -> Optional[Mapping[str, str]]:
        # The same lookup as _field_reverse_map at the latest class version, made once per row
        # instead of once per column.
        registry_name = table_name.split("_v_", 1)[0].lower()
        return TableSchemasManager().get_schemas_reverse_map(registry_name, Versions.LATEST)
