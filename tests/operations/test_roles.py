"""Least privilege (docs/roles.sql): the schema service runs as the owner role, the
classes run as the application role, which can read, write and revert but change no
schema. A right taken away gives a clear error and leaves no partial write."""
from __future__ import annotations

import contextlib
from pathlib import Path

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.utils import Q
from store_setup import create_class_tables

ROLES_SQL = Path(__file__).resolve().parents[2] / "docs" / "roles.sql"
OWNER, APP = "nelvor_owner", "nelvor_app"
FIELDS = {"name": "text", "n": "integer"}
HISTORY, STATE = "Ledgered", "Current"  # tables ledgered_v_1 and current_v_1


def drop_roles(admin_sql) -> None:
    for role in (APP, OWNER):
        if admin_sql(f"SELECT 1 FROM pg_roles WHERE rolname = '{role}'"):
            admin_sql(f"DROP OWNED BY {role}")
            admin_sql(f"DROP ROLE {role}")


@pytest.fixture(scope="module")
def roles(database, admin_sql):
    """The roles of docs/roles.sql in the module's database, and the tables created
    through the schema service connected as the owner."""
    drop_roles(admin_sql)  # left over by an interrupted run
    admin_sql(ROLES_SQL.read_text(encoding="utf-8"))
    create_class_tables(HISTORY, STATE, FIELDS, user=OWNER)
    # The documented hardening for history: the historical class never updates.
    admin_sql(f'REVOKE UPDATE ON "ledgered_v_1", metadata FROM {APP}')
    yield
    drop_roles(admin_sql)


@pytest.fixture
def as_app(roles, open_connection):
    """as_app(cls) -> an instance connected as the application role."""
    return lambda connection_class: open_connection(connection_class, user=APP)


@contextlib.contextmanager
def refused(reason: str):
    """The statement's failure: the class's error, the server's reason in its cause."""
    with pytest.raises(NelvorConnectionError, match="^Error executing query: ") as raised:
        yield
    assert reason in str(raised.value.__cause__)


@contextlib.contextmanager
def revoked(admin_sql, right: str, table: str):
    admin_sql(f'REVOKE {right} ON "{table}" FROM {APP}')
    try:
        yield
    finally:
        admin_sql(f'GRANT {right} ON "{table}" TO {APP}')


def version(object_id: str, object_version: str = "1") -> Address:
    return Address(class_name=HISTORY, class_version="1", object_id=object_id, object_version=object_version)


def metadata(object_id: str, object_version: str = "1", prior: str | None = None) -> tuple[Address, dict]:
    return (Address(class_name="metadata", object_id=object_id, object_version=object_version),
            {"address": {"class_name": HISTORY, "class_version": "1", "object_id": object_id,
                         "object_version": object_version}, "prior_version": prior, "is_deleted": False})


def record(object_id: str) -> Address:
    return Address(class_name=STATE, class_version="1", object_id=object_id)


def rows(admin_sql, table: str) -> list[tuple]:
    return sorted(admin_sql(f'SELECT partition_key, n FROM "{table}"'))


def test_application_role_runs_every_historical_operation(as_app, admin_sql):
    ledger = as_app(PostgresImmutableConnection)
    assert ledger.execute("SELECT current_user").fetchone() == (APP,)
    ledger.begin()
    ledger.put(version("o1"), {"name": "first", "n": 1})
    ledger.put(*metadata("o1"))
    ledger.bulk_put([(version("o1", "2"), {"name": "second", "n": 2}), metadata("o1", "2", prior="1"),
                     (version("o2"), {"name": "other", "n": 3}), metadata("o2")])
    ledger.commit()
    ledger.begin()
    ledger.begin()  # revert undoes and closes this level; the outer one commits
    ledger.put(version("o3"), {"name": "reverted", "n": 4})
    ledger.put(*metadata("o3"))
    ledger.revert()
    ledger.commit()

    every = Address(class_name=HISTORY, class_version=Versions.ALL)
    assert sorted((r["partition_key"], r["range_key"]) for r in ledger.query(every)) == [
        ("o1", "1"), ("o1", "2"), ("o2", "1")]
    latest = ledger.query(every, conditions=Q(_address__object_id="o1", _address__object_version=Versions.LATEST))
    assert [r["name"] for r in latest] == ["second"]
    assert ledger.count(every) == 3
    assert admin_sql("SELECT count(*) FROM metadata WHERE object_id = 'o3'") == [("0",)]


def test_application_role_runs_every_state_operation(as_app, admin_sql):
    state = as_app(PostgresStateConnection)
    state.begin()
    state.insert(record("a"), {"name": "a", "n": 1})
    state.bulk_insert([(record("b"), {"name": "b", "n": 2}), (record("c"), {"name": "c", "n": 3})])
    state.update(record("a"), {"name": "a", "n": 10})
    state.bulk_update([(record("b"), {"name": "b", "n": 20}), (record("c"), {"name": "c", "n": 30})])
    state.delete(record("c"))
    state.bulk_delete([record("b")])
    state.commit()
    state.begin()
    state.begin()
    state.update(record("a"), {"name": "a", "n": 99})
    state.insert(record("d"), {"name": "d", "n": 4})
    state.revert()
    state.commit()
    assert [(r["partition_key"], r["n"]) for r in state.query(record(None))] == [("a", 10)]
    assert state.count(record(None)) == 1
    assert rows(admin_sql, "current_v_1") == [("a", "10")]


@pytest.mark.parametrize("connection_class", [PostgresImmutableConnection, PostgresStateConnection])
def test_application_role_cannot_change_the_schema(as_app, admin_sql, connection_class):
    app = as_app(connection_class)
    # The schema service's CREATE TABLE IF NOT EXISTS needs the right to create even
    # where the table exists: a process registers its tables through the owner.
    schema_changes = [lambda: app.table_schema_manager.create_table("Intruder", "1", FIELDS),
                      lambda: app.table_schema_manager.create_table(STATE, "1", FIELDS)]
    if connection_class is PostgresImmutableConnection:
        schema_changes.append(app.prepare_connection)  # creates the metadata table
    for schema_change in schema_changes:
        with refused("permission denied for schema public"):
            schema_change()
    for statement, refusal in (('DROP TABLE "current_v_1"', "must be owner of table current_v_1"),
                               ('ALTER TABLE metadata ADD COLUMN x int', "must be owner of table metadata"),
                               ('TRUNCATE "ledgered_v_1"', "permission denied for table ledgered_v_1")):
        with refused(refusal):
            app.execute(statement)
    assert admin_sql("SELECT count(*) FROM pg_tables WHERE tablename = 'intruder_v_1'") == [("0",)]


def test_missing_rights_fail_clearly_and_leave_no_partial_write(as_app, admin_sql):
    ledger, state = as_app(PostgresImmutableConnection), as_app(PostgresStateConnection)
    before = rows(admin_sql, "current_v_1"), rows(admin_sql, "ledgered_v_1")

    # An object version whose metadata row cannot be written is not kept either.
    with revoked(admin_sql, "INSERT", "metadata"):
        ledger.begin()
        ledger.put(version("m1"), {"name": "no metadata", "n": 5})
        with refused("permission denied for table metadata"):
            ledger.put(*metadata("m1"))
        ledger.rollback()
        ledger.begin()
        with refused("permission denied for table metadata"):
            ledger.bulk_put([(version("m2"), {"name": "bulk", "n": 6}), metadata("m2")])
        ledger.rollback()

    # A revert that may not delete fails; rolling back undoes the write it meant to undo.
    with revoked(admin_sql, "DELETE", "ledgered_v_1"):
        ledger.begin()
        ledger.begin()
        ledger.put(version("r1"), {"name": "kept until rollback", "n": 7})
        with refused("permission denied for table ledgered_v_1"):
            ledger.revert()
        # A failed revert keeps its level (and leaves revert switched off).
        ledger.rollback()
        ledger.rollback()

    # A bulk update is one statement: refused whole, inside a transaction or not.
    with revoked(admin_sql, "UPDATE", "current_v_1"):
        with refused("permission denied for table current_v_1"):
            state.bulk_update([(record("a"), {"name": "a", "n": -1})])
        state.begin()
        state.insert(record("u1"), {"name": "inserted first", "n": 8})
        with refused("permission denied for table current_v_1"):
            state.update(record("a"), {"name": "a", "n": -2})
        state.rollback()

    # With no right at all the catalogue shows the role no column, so the write goes out
    # with none and the server refuses its syntax: no clear reason, but nothing written.
    # (A new instance: the columns are remembered per connection.)
    with revoked(admin_sql, "SELECT, INSERT, UPDATE, DELETE", "current_v_1"):
        unaware = as_app(PostgresStateConnection)
        unaware.begin()
        with pytest.raises(NelvorConnectionError):
            unaware.bulk_insert([(record("n1"), {"name": "no rights", "n": 9})])
        unaware.rollback()

    assert (rows(admin_sql, "current_v_1"), rows(admin_sql, "ledgered_v_1")) == before
    assert admin_sql("SELECT count(*) FROM metadata WHERE object_id IN ('m1', 'm2', 'r1')") == [("0",)]
    assert ledger._revert_data == [] and state._revert_data == []
