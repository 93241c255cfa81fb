"""asyncpg: numbered placeholders, binary protocol, prepared statements cached."""
from __future__ import annotations

import asyncio
import json
import time
from typing import Any, Dict

import asyncpg

from bench.capture import Statement, StatementLog
from bench.peers.bulk_rows import bulk_rows
from bench.peers.base import Peer, PeerUnavailable, RunResult, is_transaction_control, quiet_heap
from bench.peers.placeholders import numbered_placeholders

MAX_BOUND_PARAMETERS = 32767  # asyncpg's own limit


def _encode_json(value: Any) -> str:
    # Our statements already carry json values as JSON text.
    return value if isinstance(value, str) else json.dumps(value)


class AsyncpgPeer(Peer):
    name = "asyncpg"

    def __init__(self, keywords: Dict[str, str]) -> None:
        self._loop = asyncio.new_event_loop()
        self._connection = self._loop.run_until_complete(self._connect(keywords))
        self._converted: Dict[str, str] = {}

    @staticmethod
    async def _connect(keywords: Dict[str, str]) -> Any:
        connection = await asyncpg.connect(host=keywords["host"], port=int(keywords["port"]),
                                           user=keywords["user"], password=keywords.get("password"),
                                           database=keywords["dbname"])
        for type_name in ("json", "jsonb"):
            await connection.set_type_codec(type_name, schema="pg_catalog", encoder=_encode_json,
                                            decoder=json.loads, format="text")
        return connection

    def _text(self, statement: Statement) -> str:
        if statement.params is None:
            return statement.template
        text = self._converted.get(statement.template)
        if text is None:
            text = self._converted[statement.template] = numbered_placeholders(statement.template)
        return text

    async def _run_one(self, statement: Statement) -> int:
        if statement.params is not None and len(statement.params) > MAX_BOUND_PARAMETERS:
            # asyncpg's own way of writing rows beyond its parameter limit.
            rows = bulk_rows(statement)
            if rows is None:
                raise PeerUnavailable(f"{len(statement.params)} parameters exceed asyncpg's {MAX_BOUND_PARAMETERS}")
            await self._connection.executemany(rows.single_row_insert(lambda n: f"${n}"), rows.rows)
            return -1
        text = self._text(statement)
        if is_transaction_control(statement):
            await self._connection.execute(text)
            return -1
        rows = await self._connection.fetch(text, *(statement.params or ()))
        return len(rows) if statement.returns_rows else -1

    def _execute(self, statement: Statement) -> int:
        return self._loop.run_until_complete(self._run_one(statement))

    async def _run(self, log: StatementLog) -> RunResult:
        for statement in log.setup:
            await self._run_one(statement)
        quiet_heap()
        rows = []
        started = time.perf_counter()
        for statement in log.timed:
            rows.append(await self._run_one(statement))
        seconds = time.perf_counter() - started
        for statement in log.finish:
            await self._run_one(statement)
        return RunResult(seconds, rows)

    def run(self, log: StatementLog) -> RunResult:
        return self._loop.run_until_complete(self._run(log))

    def describe(self) -> str:
        return f"asyncpg {asyncpg.__version__}"

    def close(self) -> None:
        self._loop.run_until_complete(self._connection.close())
        self._loop.close()
