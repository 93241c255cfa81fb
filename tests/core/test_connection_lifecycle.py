"""Construction, settings from the environment, connect and disconnect."""
import pytest

from nelvor_data.connections.base import HistoricalConnectionBase, StateConnectionBase
from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_data.connections.implementations.mixins.sql_history_mixin import SqlHistoryConnectionMixin
from nelvor_data.connections.implementations.mixins.sql_state_mixin import SqlStateConnectionMixin

FIELDS = ("HOST", "PORT", "USER", "PASSWORD", "DATABASE")


def test_classes_have_exactly_the_framework_bases():
    assert PostgresImmutableConnection.__bases__ == (SqlHistoryConnectionMixin, HistoricalConnectionBase)
    assert PostgresStateConnection.__bases__ == (SqlStateConnectionMixin, StateConnectionBase)
    assert PostgresImmutableConnection.__module__ == "nelvor_data.connections.implementations.ledger_store"
    assert PostgresStateConnection.__qualname__ == "PostgresStateConnection"
    assert PostgresStateConnection.SUBSTITUTE_CHAR == "%s"
    assert not hasattr(PostgresImmutableConnection, "SUBSTITUTE_CHAR")
    for cls in (PostgresImmutableConnection, PostgresStateConnection):
        assert cls.TABLE_SEPARATOR == cls.COLUMN_SEPARATOR == '"'
        assert not getattr(cls, "__abstractmethods__", None)


@pytest.mark.parametrize("revert", [True, False])
def test_construction_sets_the_four_fields_in_order(store, revert):
    _, cls, _ = store
    instance = cls(is_revert_supported=revert)
    assert list(vars(instance)) == ["_is_revert_enabled", "_revert_data", "_savepoints", "_connection"]
    assert instance._is_revert_enabled is revert
    assert instance._revert_data == [] and instance._savepoints == [] and instance._connection is None
    with pytest.raises(TypeError):
        cls(False)  # keyword-only


def test_default_envs_reads_only_the_own_non_empty_variables(store, monkeypatch, no_connection_env):
    _, cls, prefix = store
    other = "POSTGRES_STATE_" if prefix == "POSTGRES_" else "POSTGRES_"
    assert cls()._default_envs() == {}
    monkeypatch.setenv(prefix + "PORT", "5433")
    monkeypatch.setenv(prefix + "USER", "")
    for field in FIELDS:
        monkeypatch.setenv(other + field, "ignored")
    assert cls()._default_envs() == {"port": "5433"}
    for field in FIELDS:
        monkeypatch.setenv(prefix + field, field.lower())
    assert list(cls()._default_envs().items()) == [
        ("host", "host"), ("port", "port"), ("user", "user"), ("password", "password"), ("database", "database")]


def test_connect_disconnect_cycle_and_misuse(store, database):
    _, cls, _ = store
    instance = cls()
    with pytest.raises(NelvorConnectionError, match="^Connection not established$"):
        instance.disconnect()
    instance.connect()
    first = instance._connection
    with pytest.raises(NelvorConnectionError, match="^Connection already established$"):
        instance.connect()
    assert instance._connection is first
    assert instance.execute("SELECT current_database()").fetchone() == (database,)
    instance.disconnect()
    assert instance._connection is None
    with pytest.raises(NelvorConnectionError, match="^Connection not established$"):
        instance.disconnect()
    instance.connect()
    assert instance.execute("SELECT 1").fetchone() == (1,)
    instance.disconnect()


def test_keywords_win_over_environment_and_environment_over_dsn(store, database, pg_env, monkeypatch):
    _, cls, prefix = store
    monkeypatch.setenv(prefix + "HOST", "host.invalid")
    instance = cls()
    instance.connect(host=pg_env["POSTGRES_HOST"], application_name="nelvor-test")
    assert instance.execute("SELECT current_setting('application_name')").fetchone() == ("nelvor-test",)
    instance.disconnect()
    # The environment's database reaches the driver as a keyword and beats the dsn's.
    instance.connect(f"host={pg_env['POSTGRES_HOST']} dbname=postgres", host=pg_env["POSTGRES_HOST"])
    assert instance.execute("SELECT current_database()").fetchone() == (database,)
    instance.disconnect()


def test_failed_connect_passes_the_driver_error_and_stays_unconnected(store, database):
    module, cls, _ = store
    instance = cls()
    with pytest.raises(module.OperationalError):
        instance.connect(host="127.0.0.1", port="1", connect_timeout="2")
    assert instance._connection is None
    instance.connect()
    instance.disconnect()


def test_table_schema_manager_is_new_each_read_and_bound_to_the_instance(store):
    _, cls, _ = store
    instance = cls()
    first, second = instance.table_schema_manager, instance.table_schema_manager
    assert first is not second
    expected = "PostgresImmutableTableSchemaService" if cls is PostgresImmutableConnection \
        else "PostgresStateTableSchemaService"
    assert type(first).__name__ == expected


def test_prepare_connection(database, admin_sql):
    PostgresStateConnection().prepare_connection()  # no effect, even unconnected
    instance = PostgresImmutableConnection()
    instance.connect()
    instance.prepare_connection()
    assert admin_sql("SELECT to_regclass('metadata') IS NOT NULL") == [("t",)]
    instance.disconnect()
