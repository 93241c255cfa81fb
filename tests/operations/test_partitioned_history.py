"""Class tables and the metadata table hash-partitioned by the object id: the schema
service's CREATE TABLE statements get PARTITION BY HASH on the column the primary key
leads with, and the partitions are created next to them (its CREATE TABLE IF NOT EXISTS
would equally leave such a table made beforehand by hand). The same operations of both classes are run on
plain and on partitioned tables and must give the same results; a read of one object
touches one partition of each table (EXPLAIN ANALYZE: the main scans are pruned
when planned, the look-up of the next version when run, once per row)."""
from __future__ import annotations

import json

import pytest

from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_data.table_schemas.base import TableSchemaServiceBase
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q
from store_setup import create_class_tables

PARTITIONS = 4
FIELDS = {"name": "text", "n": "integer", "doc": "json"}
HISTORY, STATE = "Journal", "Ledger"  # tables journal_v_1, ledger_v_1
OBJECTS = [f"o{k:02d}" for k in range(16)]
EVERY = Address(class_name=HISTORY, class_version=Versions.ALL)
LATEST = Q(_address__object_version=Versions.LATEST)
BY_KEY = [OrderBy("partition_key"), OrderBy("range_key")]


def partition_key_of(table: str) -> str:
    return "object_id" if table == "metadata" else "partition_key"


def partitioned_execute(execute):
    """The schema service's _execute, creating each table hash-partitioned."""
    def run(service, statement, *params):
        if not statement.startswith("CREATE TABLE IF NOT EXISTS"):
            return execute(service, statement, *params)
        table = statement.split('"')[1]
        result = execute(service, f'{statement} PARTITION BY HASH ("{partition_key_of(table)}")', *params)
        for remainder in range(PARTITIONS):
            execute(service, f'CREATE TABLE IF NOT EXISTS "{table}_p{remainder}" PARTITION OF "{table}" '
                             f"FOR VALUES WITH (MODULUS {PARTITIONS}, REMAINDER {remainder})")
        return result
    return run


@pytest.fixture(scope="module")
def databases(database, admin_sql, pg_env):
    """(plain, partitioned): two databases with the same tables, partitioned in the second."""
    split = f"{database}_split"
    admin_sql(f'CREATE DATABASE "{split}"', database=pg_env["POSTGRES_DATABASE"])
    create_class_tables(HISTORY, STATE, FIELDS, database=database)
    with pytest.MonkeyPatch.context() as patch:
        patch.setattr(TableSchemaServiceBase, "_execute", partitioned_execute(TableSchemaServiceBase._execute))
        create_class_tables(HISTORY, STATE, FIELDS, database=split)
    yield database, split
    admin_sql(f'DROP DATABASE IF EXISTS "{split}" WITH (FORCE)', database=pg_env["POSTGRES_DATABASE"])


def version(object_id: str, object_version: str) -> Address:
    return Address(class_name=HISTORY, class_version="1", object_id=object_id, object_version=object_version)


def metadata(object_id: str, object_version: str, prior: str | None) -> tuple[Address, dict]:
    return (Address(class_name="metadata", object_id=object_id, object_version=object_version),
            {"address": {"class_name": HISTORY, "class_version": "1", "object_id": object_id,
                         "object_version": object_version}, "prior_version": prior, "is_deleted": False,
             "created_at": "2024-01-01 00:00:00"})


def record(object_id: str | None = None) -> Address:
    return Address(class_name=STATE, class_version="1", object_id=object_id)


def historical_operations(ledger) -> list:
    seen = []
    ledger.begin()
    ledger.bulk_put([pair for k, object_id in enumerate(OBJECTS)
                     for pair in ((version(object_id, "1"), {"name": f"n{k}", "n": k, "doc": {"k": k % 3}}),
                                  metadata(object_id, "1", None))])
    for k, object_id in enumerate(OBJECTS[::3]):
        ledger.put(version(object_id, "2"), {"name": f"m{k}", "n": 100 + k, "doc": {"k": 9}})
        ledger.put(*metadata(object_id, "2", "1"))
    ledger.commit()
    ledger.begin()
    ledger.begin()  # revert undoes and closes this level; the outer one commits the whole
    ledger.put(version("o01", "2"), {"name": "reverted", "n": -1, "doc": None})
    ledger.put(*metadata("o01", "2", "1"))
    ledger.revert()
    ledger.commit()
    seen.append(ledger.query(EVERY, order_by=BY_KEY))
    seen.append(ledger.query(EVERY, conditions=LATEST, order_by=BY_KEY))
    seen.append(ledger.query(EVERY, conditions=Q(_address__object_id="o03")))
    seen.append(ledger.query(EVERY, conditions=Q(doc__k=9) & LATEST, order_by=[OrderBy("n", desc=True)]))
    seen.append(ledger.query(EVERY, QuerySpecifier(only=["name"]), LATEST, pagination=NumberPaginator(limit=5, offset=3),
                             order_by=[OrderBy("name")]))
    seen.append([ledger.count(EVERY), ledger.count(EVERY, LATEST), ledger.count(EVERY, Q(_address__object_id="o00"))])
    return seen


def state_operations(state) -> list:
    seen = []
    state.begin()
    state.bulk_insert([(record(object_id), {"name": f"n{k}", "n": k, "doc": {"k": k % 3}})
                       for k, object_id in enumerate(OBJECTS)])
    state.insert(record("extra"), {"name": "extra", "n": 50, "doc": None})
    state.update(record("o00"), {"name": "changed", "n": 1000, "doc": {"k": 7}})
    state.bulk_update([(record(object_id), {"name": "bulk", "n": 200 + k, "doc": {"k": 8}})
                       for k, object_id in enumerate(OBJECTS[1:6])])
    state.delete(record("o07"))
    state.bulk_delete([record("o08"), record("o09"), record("o10")])
    state.commit()
    state.begin()
    state.begin()
    state.update(record("o11"), {"name": "reverted", "n": -1, "doc": None})
    state.insert(record("gone"), {"name": "gone", "n": -2, "doc": None})
    state.delete(record("o12"))
    state.revert()
    state.commit()
    seen.append(state.query(record(), order_by=[OrderBy("partition_key")]))
    seen.append(state.query(record(), conditions=Q(_address__object_id="o04")))
    seen.append(state.query(record(), conditions=Q(doc__k=8), order_by=[OrderBy("n", desc=True)],
                            pagination=NumberPaginator(limit=3, offset=1)))
    seen.append([state.count(record()), state.count(record(), Q(name="bulk"))])
    return seen


OPERATIONS = {"historical": (PostgresImmutableConnection, historical_operations),
              "state": (PostgresStateConnection, state_operations)}


@pytest.fixture(scope="module")
def results(databases) -> dict[str, list]:
    """Kind -> [what the operations saw on the plain tables, ... on the partitioned ones]."""
    seen = {}
    for kind, (connection_class, operations) in OPERATIONS.items():
        seen[kind] = []
        for name in databases:
            connection = connection_class()
            connection.connect(database=name)
            try:
                seen[kind].append(operations(connection))
            finally:
                connection.disconnect()
    return seen


@pytest.mark.parametrize("kind", sorted(OPERATIONS))
def test_every_operation_gives_the_same_results_on_partitioned_tables(results, kind):
    plain, split = results[kind]
    assert all(seen for seen in plain)
    assert split == plain


def spread(admin_sql, database: str, table: str) -> dict[str, str]:
    return dict(admin_sql(f'SELECT tableoid::regclass::text, count(*) FROM "{table}" GROUP BY 1', database=database))


def test_tables_are_partitioned_and_rows_spread(databases, results, admin_sql):
    split = databases[1]
    kinds = dict(admin_sql("SELECT relname, relkind FROM pg_class WHERE relname IN "
                           "('journal_v_1', 'ledger_v_1', 'metadata')", database=split))
    assert kinds == {"journal_v_1": "p", "ledger_v_1": "p", "metadata": "p"}
    for table in ("journal_v_1", "ledger_v_1", "metadata"):
        assert len(spread(admin_sql, split, table)) > 1, table


class Recorder:
    """Stands in for a driver connection: keeps the text of every statement sent."""

    def __init__(self, connection) -> None:
        self.connection = connection
        self.sent: list[str] = []

    def cursor(self):
        recorder, cursor = self, self.connection.cursor()

        class Recording:
            def execute(self, query, params=None):
                result = cursor.execute(query, params)
                recorder.sent.append(bytes(cursor.query).decode())
                return result

            def __getattr__(self, name):
                return getattr(cursor, name)

            def __iter__(self):
                return iter(cursor)

        return Recording()

    def __getattr__(self, name):
        return getattr(self.connection, name)


def scanned_relations(plan: dict) -> set[str]:
    """Tables the executed plan read: a partition the planner kept but the executor
    pruned (a correlated subquery's scan, pruned per outer row) shows no loops."""
    found = {plan["Relation Name"]} if "Relation Name" in plan and plan["Actual Loops"] > 0 else set()
    for child in plan.get("Plans", []):
        found |= scanned_relations(child)
    return found


@pytest.mark.parametrize("connection_class, address", [
    (PostgresImmutableConnection, EVERY), (PostgresStateConnection, record())], ids=["historical", "state"])
def test_a_single_object_read_touches_one_partition(databases, results, admin_sql, connection_class, address):
    split = databases[1]
    connection = connection_class()
    connection.connect(database=split)
    try:
        recorder = Recorder(connection._connection)
        connection._connection = recorder
        try:
            assert connection.query(address, conditions=Q(_address__object_id="o03"))
        finally:
            connection._connection = recorder.connection
    finally:
        connection.disconnect()
    table = "journal_v_1" if connection_class is PostgresImmutableConnection else "ledger_v_1"
    [read] = [text for text in recorder.sent if f'FROM "{table}"' in text]  # not the column look-up
    [[plan_text]] = admin_sql(f"EXPLAIN (ANALYZE, TIMING OFF, FORMAT JSON) {read}", database=split)
    relations = scanned_relations(json.loads(plan_text)[0]["Plan"])
    partitions = {table: {r for r in relations if r.startswith(f"{table}_p")}
                  for table in ("journal_v_1", "ledger_v_1", "metadata")}
    if connection_class is PostgresImmutableConnection:
        assert len(partitions["journal_v_1"]) == 1 and len(partitions["metadata"]) == 1, relations
    else:
        assert len(partitions["ledger_v_1"]) == 1, relations
    assert relations <= {p for found in partitions.values() for p in found}, relations
