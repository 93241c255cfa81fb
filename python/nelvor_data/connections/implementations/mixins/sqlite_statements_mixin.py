"""SQL building shared by the historical and the state connections.

The connection classes supply ``SQL_OPERATOR_MAP``, ``COLUMN_SEPARATOR``,
``TABLE_SEPARATOR``, ``_fields_map``, ``_resolve_nested_field_name`` and
``_nested_filter_statement``; this mixin turns condition trees, orderings and
paginators into parameterised SQL with them.
"""
import json
from typing import Any, List, Mapping, Optional, Sequence, Tuple

from nelvor_data.connections.constants import MODEL_TABLE_ALIAS, METADATA_FIELD
from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.identifiers import quote_identifier
from nelvor_data.connections.implementations.mixins.operator_template import NoValue, SqlOperatorTemplate
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.enums import Lookup
from nelvor_utils.query.utils import LOOKUP_SEPARATOR, Q, split_lookup

__all__ = ["NoValue", "SqlOperatorTemplate", "SqlStatementsMixin"]

Statement = Tuple[str, List[Any]]


class SqlStatementsMixin:
    COLUMN_SEPARATOR = '"'
    TABLE_SEPARATOR = '"'

    # -- conditions -----------------------------------------------------------------

    def _get_conditions_statement(self, table_name: str, conditions: Optional[Q], *,
                                  is_internal_table: bool = False,
                                  use_internal_meta_tables: bool = False) -> Statement:
        """The condition text (without WHERE, possibly empty) and its parameters."""
        params: List[Any] = []
        if not conditions:
            return "", params
        text = self._condition_node_text(table_name, conditions, params, is_internal_table,
                                         use_internal_meta_tables)
        return text, params

    def _condition_node_text(self, table_name, node: Q, params: List[Any], is_internal_table,
                             use_internal_meta_tables) -> str:
        parts = []
        for child in node.children:
            if isinstance(child, Q):
                text = self._condition_node_text(table_name, child, params, is_internal_table,
                                                 use_internal_meta_tables)
            else:
                key, value = child
                text = self._condition_leaf_text(table_name, key, value, params, is_internal_table,
                                                 use_internal_meta_tables)
            if text:
                parts.append(text)
        if not parts:
            return ""
        text = f" {node.connector} ".join(parts)
        if len(parts) > 1:
            text = f"({text})"
        elif node.negated:
            text = f"({text})"
        return f"NOT {text}" if node.negated else text

    def _condition_leaf_text(self, table_name, key: str, value: Any, params: List[Any],
                             is_internal_table, use_internal_meta_tables) -> str:
        path, lookup = split_lookup(key)
        template = self._operator_template(lookup)
        if len(path) > 1:
            text, param = self._nested_filter_statement(
                table_name, path[0], LOOKUP_SEPARATOR.join(path[1:]), template, value, type(value),
                is_internal_table=is_internal_table, use_internal_meta_tables=use_internal_meta_tables)
            if not text:
                return ""
        else:
            column = self._fields_map(table_name, path[0], Versions.LATEST)
            if is_internal_table:
                # No alias to qualify with: quote the column here so the name stays an identifier.
                text = template.build_statement(quote_identifier(column, self.COLUMN_SEPARATOR), value, "",
                                                self.COLUMN_SEPARATOR)
            else:
                text = template.build_statement(column, value, MODEL_TABLE_ALIAS, self.COLUMN_SEPARATOR)
            param = template.build_value(value)
        self._bind_parameter(params, lookup, param)
        return text

    def _operator_template(self, lookup: Lookup) -> SqlOperatorTemplate:
        try:
            return self.SQL_OPERATOR_MAP[lookup]
        except KeyError:
            raise NelvorConnectionError(f"Unsupported lookup: {lookup.value}") from None

    @staticmethod
    def _bind_parameter(params: List[Any], lookup: Lookup, param: Any) -> None:
        if param is NoValue:
            return
        if lookup is Lookup.IN:
            # The IN template writes one placeholder per decoded element.
            params.extend(param)
        else:
            params.append(param)

    # -- ordering -------------------------------------------------------------------

    def _build_order_by_statement(self, table_name: str, order_by: Optional[Sequence], *,
                                  is_internal_table: bool = False,
                                  use_internal_meta_tables: bool = False) -> str:
        """" ORDER BY ..." with its leading blank, or "" without an ordering."""
        if not order_by:
            return ""
        keys = [self._order_expression(table_name, item.field_name, is_internal_table=is_internal_table,
                                       use_internal_meta_tables=use_internal_meta_tables)
                + (" DESC" if item.desc else "")
                for item in order_by]
        return " ORDER BY " + ", ".join(keys)

    def _order_expression(self, table_name: str, field_name: str, *, is_internal_table: bool,
                          use_internal_meta_tables: bool) -> str:
        if LOOKUP_SEPARATOR in field_name:
            field, nested = field_name.split(LOOKUP_SEPARATOR, 1)
            return self._resolve_nested_field_name(table_name, field, nested, is_internal_table=is_internal_table,
                                                   use_internal_meta_tables=use_internal_meta_tables)
        column = quote_identifier(self._fields_map(table_name, field_name, Versions.LATEST), self.COLUMN_SEPARATOR)
        return column if is_internal_table else f"{MODEL_TABLE_ALIAS}.{column}"

    # -- statement pieces -----------------------------------------------------------

    def _quoted_table(self, table_name: str) -> str:
        if not isinstance(table_name, str):
            raise TypeError(f"table_name must be text, not {type(table_name).__name__}")
        return quote_identifier(table_name, self.TABLE_SEPARATOR)

    def _where_clause(self, table_name: str, conditions: Optional[Q], *, is_internal_table: bool,
                      use_internal_meta_tables: bool = False) -> Statement:
        text, params = self._get_conditions_statement(table_name, conditions, is_internal_table=is_internal_table,
                                                      use_internal_meta_tables=use_internal_meta_tables)
        return (f" WHERE {text}" if text else ""), params

    @staticmethod
    def _pagination_clause(pagination: Any) -> Statement:
        if isinstance(pagination, NumberPaginator) and pagination.limit is not None:
            return " LIMIT %s OFFSET %s", [pagination.limit, pagination.offset or 0]
        return "", []

    def _build_plain_select_statement(self, table_name: str, select_only: str, conditions: Optional[Q] = None,
                                      pagination: Any = None, order_by: Optional[Sequence] = None, *,
                                      is_internal_table: bool = False) -> Statement:
        """SELECT of one table under the model alias: WHERE, ORDER BY, LIMIT/OFFSET as given."""
        statement = f"SELECT {select_only} FROM {self._quoted_table(table_name)} {MODEL_TABLE_ALIAS}"
        where, params = self._where_clause(table_name, conditions, is_internal_table=is_internal_table)
        statement += where
        statement += self._build_order_by_statement(table_name, order_by, is_internal_table=is_internal_table,
                                                    use_internal_meta_tables=False)
        limit, limit_params = self._pagination_clause(pagination)
        return statement + limit, params + limit_params

    def _build_plain_count_statement(self, table_name: str, conditions: Optional[Q], *,
                                     is_internal_table: bool = False) -> Statement:
        where, params = self._where_clause(table_name, conditions, is_internal_table=is_internal_table)
        return f"SELECT COUNT(*) FROM {self._quoted_table(table_name)} {MODEL_TABLE_ALIAS}{where}", params

    # -- values and results ---------------------------------------------------------

    @staticmethod
    def _to_sql_value(value: Any) -> Any:
        """The driver parameter for a value: maps and lists travel as JSON text."""
        if isinstance(value, (dict, list)):
            return json.dumps(value)
        return value

    def _process_result(self, table_name: str, row: dict, table_description: Any) -> dict:
        """The record for one result row, keyed by field names."""
        metadata = row.get(METADATA_FIELD)
        if isinstance(metadata, str):
            row = {**row, METADATA_FIELD: json.loads(metadata)}
        field_names = self._result_field_names(table_name)
        if not field_names:
            return dict(row)
        return {field_names.get(column, column): value for column, value in row.items()}

    def _result_field_names(self, table_name: str) -> Optional[Mapping[str, str]]:
        """Column name -> field name for result rows of the table; None when names are kept."""
        return None
