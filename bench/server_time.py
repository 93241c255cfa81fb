"""The server's own share: planning plus execution time of each timed statement as
EXPLAIN (ANALYZE, TIMING OFF) reports it, run over the rendered texts."""
from __future__ import annotations

import json
from typing import Dict

import psycopg2

from bench.capture import Statement, StatementLog
from bench.peers.base import RunResult

_EXPLAINABLE = ("SELECT", "INSERT", "UPDATE", "DELETE", "WITH")


def _explainable(statement: Statement) -> bool:
    return statement.rendered.lstrip()[:6].decode("ascii", "replace").upper().startswith(_EXPLAINABLE)


class ServerTime:
    name = "server"

    def __init__(self, keywords: Dict[str, str]) -> None:
        self._connection = psycopg2.connect(**keywords)
        self._connection.autocommit = True
        self._cursor = self._connection.cursor()

    def _plain(self, statement: Statement) -> None:
        self._cursor.execute(statement.rendered)

    def _explained_ms(self, statement: Statement) -> float:
        if not _explainable(statement):
            self._plain(statement)
            return 0.0
        self._cursor.execute(b"EXPLAIN (ANALYZE, TIMING OFF, FORMAT JSON) " + statement.rendered)
        plan = self._cursor.fetchone()[0]
        plan = plan if isinstance(plan, list) else json.loads(plan)
        return plan[0].get("Planning Time", 0.0) + plan[0]["Execution Time"]

    def run(self, log: StatementLog) -> RunResult:
        for statement in log.setup:
            self._plain(statement)
        milliseconds = sum(self._explained_ms(statement) for statement in log.timed)
        for statement in log.finish:
            self._plain(statement)
        return RunResult(milliseconds / 1000.0, [])

    def recover(self, log: StatementLog) -> None:
        for statement in [None, *log.finish]:
            try:
                self._cursor.execute("ROLLBACK")
                if statement is not None:
                    self._plain(statement)
            except Exception:  # best effort, as for the peers
                pass

    def forget(self, log: StatementLog) -> None:
        pass

    def describe(self) -> str:
        return "server planning + execution time (EXPLAIN ANALYZE, TIMING OFF)"

    def close(self) -> None:
        self._connection.close()
