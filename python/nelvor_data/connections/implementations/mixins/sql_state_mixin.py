"""SQL building of the state store: one row per object, keyed by the object id."""
from typing import Any, Optional, Sequence

from nelvor_data.connections.constants import PRIMARY_PARTITION_KEY
from nelvor_data.connections.identifiers import quote_identifier
from nelvor_data.connections.implementations.mixins.sqlite_statements_mixin import SqlStatementsMixin, Statement
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q


class SqlStateConnectionMixin(SqlStatementsMixin):

    def _fields_map(self, table_name: str, field_name: str, class_version: Any) -> str:
        # State tables store fields under their own names.
        return field_name

    def _get_table_name(self, address: Address) -> str:
        return self.table_schema_manager.resolve_table_name(address)

    def _build_select_statement(self, table_name: str, query_specifier: Optional[QuerySpecifier] = None,
                                conditions: Optional[Q] = None, pagination: Any = None,
                                order_by: Optional[Sequence] = None) -> Statement:
        only = sorted(set(query_specifier.only or ())) if query_specifier else []
        distinct = sorted(set(query_specifier.distinct or ())) if query_specifier else []
        select_only = ", ".join(quote_identifier(name, self.COLUMN_SEPARATOR) for name in only) or "*"
        if distinct:
            expressions = [self._order_expression(table_name, name, is_internal_table=False,
                                                  use_internal_meta_tables=False) for name in distinct]
            select_only = f"DISTINCT ON ({', '.join(expressions)}) {select_only}"
            order_by = self._order_led_by(distinct, order_by)
        return self._select_statement(table_name, select_only, conditions, pagination, order_by,
                                      is_internal_table=False)

    @staticmethod
    def _order_led_by(leading_fields: Sequence[str], order_by: Optional[Sequence]) -> list:
        """PostgreSQL wants DISTINCT ON columns first in ORDER BY; keep the caller's direction
        for those already ordered on and the rest of the ordering after them."""
        order_by = list(order_by or ())
        leading = [item for item in order_by if item.field_name in leading_fields]
        ordered = {item.field_name for item in leading}
        leading += [OrderBy(field_name=name) for name in leading_fields if name not in ordered]
        return leading + [item for item in order_by if item.field_name not in leading_fields]

    def _build_count_statement(self, table_name: str, conditions: Optional[Q]) -> Statement:
        return self._build_plain_count_statement(table_name, conditions, is_internal_table=False)

    def _build_update_statement(self, address: Address, data: dict) -> Statement:
        table = self._quoted_table(self._get_table_name(address))
        key = quote_identifier(PRIMARY_PARTITION_KEY, self.COLUMN_SEPARATOR)
        if not data:
            # Nothing to change, but the statement stays valid and touches the same row.
            return f"UPDATE {table} SET {key} = {key} WHERE {key} = %s", [address.object_id]
        assignments = ", ".join(f"{quote_identifier(column, self.COLUMN_SEPARATOR)} = %s" for column in data)
        params = [self._to_sql_value(value) for value in data.values()] + [address.object_id]
        return f"UPDATE {table} SET {assignments} WHERE {key} = %s", params
