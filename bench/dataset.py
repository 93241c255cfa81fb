"""Builds the benchmark database through our own classes: bulk writes in chunks,
then statistics for the planner. A database that already holds the same dataset
is reused."""
from __future__ import annotations

import itertools
import time
from typing import Callable, Iterable, Iterator, List, TypeVar

import psycopg2
from psycopg2 import sql

from bench.records import Shape, item_pairs, metadata_pairs, state_pairs
from bench.settings import ServerSettings
from bench.stores import Stores

CHUNK_ROWS = 5_000
MARKER_TABLE = "bench_dataset"
# Settings given to the benchmark database (see README, Benchmarks).
DATABASE_SETTINGS = {"jit": "off"}

T = TypeVar("T")


def chunks(items: Iterable[T], size: int) -> Iterator[List[T]]:
    iterator = iter(items)
    while chunk := list(itertools.islice(iterator, size)):
        yield chunk


def _admin(settings: ServerSettings, database: str = "postgres"):
    connection = psycopg2.connect(**settings.keywords(database))
    connection.autocommit = True
    return connection


def ensure_database(settings: ServerSettings, name: str) -> None:
    admin = _admin(settings)
    with admin.cursor() as cursor:
        cursor.execute("SELECT 1 FROM pg_database WHERE datname = %s", (name,))
        if cursor.fetchone() is None:
            cursor.execute(sql.SQL("CREATE DATABASE {}").format(sql.Identifier(name)))
        for key, value in DATABASE_SETTINGS.items():
            cursor.execute(sql.SQL("ALTER DATABASE {} SET {} = {}").format(
                sql.Identifier(name), sql.Identifier(key), sql.Literal(value)))
    admin.close()


def drop_database(settings: ServerSettings, name: str) -> None:
    admin = _admin(settings)
    with admin.cursor() as cursor:
        cursor.execute(sql.SQL("DROP DATABASE IF EXISTS {} WITH (FORCE)").format(sql.Identifier(name)))
    admin.close()


def stored_fingerprint(settings: ServerSettings, database: str) -> str:
    connection = _admin(settings, database)
    try:
        with connection.cursor() as cursor:
            cursor.execute("SELECT to_regclass(%s) IS NOT NULL", (MARKER_TABLE,))
            if not cursor.fetchone()[0]:
                return ""
            cursor.execute(sql.SQL("SELECT fingerprint FROM {}").format(sql.Identifier(MARKER_TABLE)))
            row = cursor.fetchone()
            return row[0] if row else ""
    finally:
        connection.close()


def _timed(label: str, action: Callable[[], None], say: Callable[[str], None]) -> None:
    started = time.perf_counter()
    action()
    say(f"  {label}: {time.perf_counter() - started:.1f}s")


def build(settings: ServerSettings, database: str, shape: Shape, say: Callable[[str], None] = print) -> None:
    """Create `database` with the dataset of `shape` unless it holds it already."""
    if stored_fingerprint_safe(settings, database) == shape.fingerprint():
        say(f"dataset in {database} is up to date ({shape.fingerprint()})")
        return
    say(f"building dataset in {database} ({shape.fingerprint()})")
    drop_database(settings, database)
    ensure_database(settings, database)
    stores = Stores(settings, database)
    historical = stores.get("historical", revert=False)
    state = stores.get("state", revert=False)
    try:
        def put_items() -> None:
            for chunk in chunks(item_pairs(0, shape.objects, shape.versions), CHUNK_ROWS):
                historical.bulk_put(chunk)

        def put_metadata() -> None:
            for chunk in chunks(metadata_pairs(0, shape.objects, shape.versions), CHUNK_ROWS):
                historical.bulk_put(chunk)

        def insert_state() -> None:
            for first in range(0, shape.state_rows, CHUNK_ROWS):
                state.bulk_insert(state_pairs(first, min(first + CHUNK_ROWS, shape.state_rows)))

        _timed(f"{shape.objects * shape.versions} object rows (bulk_put)", put_items, say)
        _timed(f"{shape.objects * shape.versions} metadata rows (bulk_put)", put_metadata, say)
        _timed(f"{shape.state_rows} state rows (bulk_insert)", insert_state, say)
    finally:
        stores.close()
    admin = _admin(settings, database)
    with admin.cursor() as cursor:
        _timed("VACUUM ANALYZE", lambda: cursor.execute("VACUUM ANALYZE"), say)
        cursor.execute(sql.SQL("CREATE TABLE {} (fingerprint text)").format(sql.Identifier(MARKER_TABLE)))
        cursor.execute(sql.SQL("INSERT INTO {} VALUES (%s)").format(sql.Identifier(MARKER_TABLE)),
                       (shape.fingerprint(),))
    admin.close()


def stored_fingerprint_safe(settings: ServerSettings, database: str) -> str:
    try:
        return stored_fingerprint(settings, database)
    except psycopg2.OperationalError:  # no such database yet
        return ""


class Vacuum:
    """Vacuums the table a writing workload touched, between runs (untimed), so that dead
    index entries of the re-used keys do not pile up from one run to the next."""

    def __init__(self, settings: ServerSettings, database: str, stores: Stores) -> None:
        self._connection = _admin(settings, database)
        self._stores = stores
        self._tables: dict = {}

    def _table(self, store: str) -> str:
        if store not in self._tables:
            from bench.records import CLASS_VERSION, HISTORICAL_CLASS, STATE_CLASS
            from nelvor_utils.models.data_models.address import Address
            name = HISTORICAL_CLASS if store == "historical" else STATE_CLASS
            connection = self._stores.get(store, False)
            self._tables[store] = connection.table_schema_manager.resolve_table_name(
                Address(class_name=name, class_version=CLASS_VERSION))
        return self._tables[store]

    def __call__(self, workload) -> None:
        if workload.writes:
            with self._connection.cursor() as cursor:
                cursor.execute(sql.SQL("VACUUM {}").format(sql.Identifier(self._table(workload.store))))

    def close(self) -> None:
        self._connection.close()
