"""Test-only connections: the framework mixins plus the few operations the real
connection classes supply, kept just large enough to drive the mixins against PostgreSQL."""
import json

from nelvor_data.connections.base import HistoricalConnectionBase, StateConnectionBase
from nelvor_data.connections.constants import MODEL_TABLE_ALIAS
from nelvor_data.connections.implementations.mixins.sql_history_mixin import SqlHistoryConnectionMixin
from nelvor_data.connections.implementations.mixins.sql_state_mixin import SqlStateConnectionMixin
from nelvor_data.connections.implementations.mixins.sqlite_statements_mixin import NoValue, SqlOperatorTemplate
from nelvor_data.table_schemas.implementations.current_store import PostgresStateTableSchemaService
from nelvor_data.table_schemas.implementations.ledger_store import PostgresImmutableTableSchemaService
from nelvor_data.table_schemas.manager import TableSchemasManager
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.enums import Lookup
from psql_runner import execute


def _upper(value):
    return (value if isinstance(value, str) else str(value)).upper()


OPERATOR_MAP = {
    Lookup.EQ: SqlOperatorTemplate(template=lambda v: "{field_name} IS %s" if type(v) is bool else "{field_name} = %s"),
    Lookup.NEQ: SqlOperatorTemplate(
        template=lambda v: "{field_name} IS NOT %s" if type(v) is bool else "{field_name} != %s"),
    Lookup.GT: SqlOperatorTemplate(template="{field_name} > %s"),
    Lookup.GTE: SqlOperatorTemplate(template="{field_name} >= %s"),
    Lookup.LT: SqlOperatorTemplate(template="{field_name} < %s"),
    Lookup.LTE: SqlOperatorTemplate(template="{field_name} <= %s"),
    Lookup.IN: SqlOperatorTemplate(template=lambda v: "{field_name} IN (" + ",".join(["%s"] * len(json.loads(v))) + ")",
                                   value_modifier=json.loads),
    Lookup.CONTAINS: SqlOperatorTemplate(template="{field_name} LIKE %s", value_template="%{value}%"),
    Lookup.ICONTAINS: SqlOperatorTemplate(template="UPPER({field_name}) LIKE %s", value_template="%{value}%",
                                          value_modifier=_upper),
    Lookup.STARTSWITH: SqlOperatorTemplate(template="{field_name} LIKE %s", value_template="{value}%"),
    Lookup.ISTARTSWITH: SqlOperatorTemplate(template="UPPER({field_name}) LIKE %s", value_template="{value}%",
                                            value_modifier=_upper),
    Lookup.ENDSWITH: SqlOperatorTemplate(template="{field_name} LIKE %s", value_template="%{value}"),
    Lookup.IENDSWITH: SqlOperatorTemplate(template="UPPER({field_name}) LIKE %s", value_template="%{value}",
                                          value_modifier=_upper),
    Lookup.ISNULL: SqlOperatorTemplate(template=lambda v: "{field_name} IS NULL" if v else "{field_name} IS NOT NULL",
                                       value_modifier=lambda v: NoValue),
}


class _TestConnection:
    SQL_OPERATOR_MAP = OPERATOR_MAP
    SERVICE = None

    def __init__(self, database):
        self.database = database

    def execute(self, query, *args):
        return execute(self.database, query, *args)

    @property
    def table_schema_manager(self):
        return self.SERVICE(self)

    def _cast(self, value_type):
        return {int: "integer", bool: "boolean", float: "real"}.get(value_type, "text")

    def _resolve_nested_field_name(self, table_name, field_name, nested_fields, value_type=str, *,
                                   is_internal_table=False, use_internal_meta_tables=False):
        column = field_name if is_internal_table else f'{MODEL_TABLE_ALIAS}."{self._fields_map(table_name, field_name, Versions.LATEST)}"'
        path = "->>".join(f"'{segment}'" for segment in nested_fields.split("__"))
        expression = f"cast(({column}::json->{path})::text as {self._cast(value_type)})"
        return f"trim('\"' FROM {expression})" if self._cast(value_type) == "text" else expression

    def _nested_filter_statement(self, table_name, field_name, nested_fields, sql_operator_template, value,
                                 value_type, *, is_internal_table=False, use_internal_meta_tables=False):
        if value == Versions.ALL:
            return "", None
        field = self._resolve_nested_field_name(table_name, field_name, nested_fields, type(value),
                                                is_internal_table=is_internal_table,
                                                use_internal_meta_tables=use_internal_meta_tables)
        return (sql_operator_template.build_statement(field, value, "", self.COLUMN_SEPARATOR),
                sql_operator_template.build_value(value))

    connect = disconnect = begin = commit = rollback = query = count = revert = None


class StateTestConnection(SqlStateConnectionMixin, _TestConnection, StateConnectionBase):
    SERVICE = PostgresStateTableSchemaService
    insert = update = delete = bulk_insert = bulk_update = bulk_delete = None

    def _select_statement(self, table_name, select_only, conditions=None, pagination=None, order_by=None, *,
                          is_internal_table=False):
        return self._build_plain_select_statement(table_name, select_only, conditions, pagination, order_by,
                                                  is_internal_table=is_internal_table)

    def rows(self, statement_pair):
        cursor = self.execute(statement_pair[0], *statement_pair[1])
        names = [column[0] for column in cursor.description]
        return [self._process_result("", dict(zip(names, row)), {}) for row in cursor.fetchall()]


class HistoryTestConnection(SqlHistoryConnectionMixin, _TestConnection, HistoricalConnectionBase):
    SERVICE = PostgresImmutableTableSchemaService
    put = bulk_put = None

    def _mapped(self, getter, table_name, name, class_version):
        key = table_name.split("_v_", 1)[0].lower()
        found = getter(key, class_version) or getter(key, Versions.LATEST)
        return found.get(name, name) if found else name

    def _fields_map(self, table_name, field_name, class_version):
        return self._mapped(TableSchemasManager().get_schemas_map, table_name, field_name, class_version)

    def _field_reverse_map(self, table_name, field_name, class_version):
        return self._mapped(TableSchemasManager().get_schemas_reverse_map, table_name, field_name, class_version)
