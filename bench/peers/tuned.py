"""Each peer as a performance-minded user would set it up: JSON decoded with orjson,
the cyclic collector off while rows are fetched (as our driver does), prepared
statements, its own bulk way of writing many rows, and, as separate variants, the
streaming reads each offers. Beside the default set-ups, not instead of them."""
from __future__ import annotations

import contextlib
import gc
from typing import Any, Dict, Iterator, List

import orjson
import psycopg
import psycopg2
import psycopg2.extras
from psycopg.types.json import set_json_loads

from bench.capture import Statement, StatementLog
from bench.peers.asyncpg_peer import AsyncpgPeer
from bench.peers.base import MANY_ROWS, PeerUnavailable, RunResult, is_transaction_control, require_many_row_read
from bench.peers.bulk_rows import bulk_rows
from bench.peers.psycopg2_peer import Psycopg2Peer
from bench.peers.psycopg3_peer import Psycopg3Peer

STREAM_BATCH = 2_000


@contextlib.contextmanager
def collector_off() -> Iterator[None]:
    was_on = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if was_on:
            gc.enable()


def _json_bytes(value: Any) -> bytes:
    # Our statements already carry json values as JSON text.
    return value.encode() if isinstance(value, str) else orjson.dumps(value)


def _jsonb_bytes(value: Any) -> bytes:
    return b"\x01" + _json_bytes(value)  # jsonb's binary form: a version byte, then the text


def _jsonb_loads(data: bytes) -> Any:
    return orjson.loads(data[1:])


class Psycopg2Tuned(Psycopg2Peer):
    name = "psycopg2 tuned"

    def __init__(self, keywords: Dict[str, str]) -> None:
        super().__init__(keywords)
        psycopg2.extras.register_default_json(self._connection, loads=orjson.loads)
        psycopg2.extras.register_default_jsonb(self._connection, loads=orjson.loads)

    def _execute(self, statement: Statement) -> int:
        rows = bulk_rows(statement)
        if rows is not None:
            psycopg2.extras.execute_values(self._cursor, f"INSERT INTO {rows.table} ({', '.join(rows.columns)}) "
                                           "VALUES %s", rows.rows, page_size=1000)
            return -1
        with collector_off():
            return super()._execute(statement)

    def describe(self) -> str:
        return super().describe() + " tuned: orjson, collector off while fetching, execute_values (pages of 1,000)"


class Psycopg2Named(Psycopg2Tuned):
    """Many-row reads through a named (server-side) cursor, fetched in batches."""

    name = "psycopg2 named"

    def run(self, log: StatementLog) -> RunResult:
        require_many_row_read(log, self.name)
        return super().run(log)

    def _execute(self, statement: Statement) -> int:
        if statement.rows < MANY_ROWS:
            return super()._execute(statement)
        connection = self._connection
        # A named cursor lives in a transaction: its own, unless the statements opened one.
        own_transaction = connection.info.transaction_status == psycopg2.extensions.TRANSACTION_STATUS_IDLE
        if own_transaction:
            connection.autocommit = False
        count = 0
        with collector_off():
            with connection.cursor(name="bench_stream", withhold=not own_transaction) as cursor:
                cursor.itersize = STREAM_BATCH
                cursor.execute(statement.template, statement.params)
                while True:
                    batch = cursor.fetchmany(STREAM_BATCH)
                    if not batch:
                        break
                    count += len(batch)
        if own_transaction:
            connection.commit()
            connection.autocommit = True
        return count

    def describe(self) -> str:
        return f"psycopg2 tuned, reads of {MANY_ROWS:,}+ rows through a named cursor ({STREAM_BATCH:,} a batch)"


def _pipelined(statements: List[Statement]) -> bool:
    """psycopg 3 tuned sends a run of statements without COPY in pipeline mode."""
    return len(statements) >= 2 and all(bulk_rows(statement) is None for statement in statements)


class Psycopg3Tuned(Psycopg3Peer):
    """Prepared statements, COPY for bulk rows, and pipeline mode for a run without COPY."""

    name = "psycopg3 tuned"

    def __init__(self, keywords: Dict[str, str]) -> None:
        self._connection = psycopg.connect(autocommit=True, prepare_threshold=0, **keywords)
        self._cursor = self._connection.cursor()
        set_json_loads(orjson.loads, self._connection)

    def _execute(self, statement: Statement) -> int:
        rows = bulk_rows(statement)
        if rows is not None:
            with self._cursor.copy(f"COPY {rows.table} ({', '.join(rows.columns)}) FROM STDIN") as copy:
                for row in rows.rows:
                    copy.write_row(row)
            return -1
        with collector_off():
            return self._read(statement)

    def _read(self, statement: Statement) -> int:
        return super()._execute(statement)

    def _run_timed(self, statements: List[Statement]) -> List[int]:
        if not _pipelined(statements):
            return super()._run_timed(statements)
        cursors = []
        with collector_off():
            with self._connection.pipeline():
                for statement in statements:
                    cursor = self._connection.cursor()
                    cursor.execute(statement.template, statement.params)
                    cursors.append(cursor)
            return [len(cursor.fetchall()) if cursor.description is not None else -1 for cursor in cursors]

    def describe(self) -> str:
        return (super().describe() + " tuned: prepared statements (prepare_threshold=0), orjson, collector off "
                "while fetching, COPY with write_row for bulk rows, pipeline mode for a run of statements")


class Psycopg3Stream(Psycopg3Tuned):
    name = "psycopg3 stream"

    def run(self, log: StatementLog) -> RunResult:
        require_many_row_read(log, self.name)
        return super().run(log)

    def _read(self, statement: Statement) -> int:
        if statement.rows < MANY_ROWS:
            return super()._read(statement)
        return sum(1 for _ in self._cursor.stream(statement.template, statement.params))

    def describe(self) -> str:
        return f"psycopg 3 tuned, reads of {MANY_ROWS:,}+ rows through cursor.stream()"


class Psycopg3Prepared(Psycopg3Tuned):
    """psycopg 3 tuned without pipeline mode: each statement's reply is read before
    the next is sent, as a caller of our classes must do."""

    name = "psycopg3 prepared"

    def run(self, log: StatementLog) -> RunResult:
        if not _pipelined(log.timed):
            raise PeerUnavailable(f"not a run of statements: the {self.name} would run as psycopg3 tuned")
        return super().run(log)

    def _run_timed(self, statements: List[Statement]) -> List[int]:
        return Psycopg3Peer._run_timed(self, statements)

    def describe(self) -> str:
        return ("psycopg 3 tuned, but each statement's reply read before the next is sent "
                "(prepared statements, orjson, collector off while fetching; no pipeline)")


class AsyncpgTuned(AsyncpgPeer):
    name = "asyncpg tuned"

    @staticmethod
    async def _connect(keywords: Dict[str, str]) -> Any:
        connection = await AsyncpgPeer._connect(keywords)
        # Binary codecs: copy_records_to_table writes the binary COPY format.
        await connection.set_type_codec("json", schema="pg_catalog", encoder=_json_bytes, decoder=orjson.loads,
                                        format="binary")
        await connection.set_type_codec("jsonb", schema="pg_catalog", encoder=_jsonb_bytes, decoder=_jsonb_loads,
                                        format="binary")
        return connection

    async def _run_one(self, statement: Statement) -> int:
        rows = bulk_rows(statement)
        if rows is not None:
            await self._connection.copy_records_to_table(rows.bare_table, records=rows.rows,
                                                         columns=rows.bare_columns)
            return -1
        if is_transaction_control(statement):
            return await super()._run_one(statement)
        with collector_off():
            return await super()._run_one(statement)

    def describe(self) -> str:
        return super().describe() + " tuned: orjson, collector off while fetching, copy_records_to_table"


def tuned_peers(keywords: Dict[str, str]) -> List[Any]:
    return [Psycopg2Tuned(keywords), Psycopg2Named(keywords), Psycopg3Tuned(keywords), Psycopg3Prepared(keywords),
            Psycopg3Stream(keywords), AsyncpgTuned(keywords)]
