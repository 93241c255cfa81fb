"""psycopg 3 with its C implementation: parameters bound server-side."""
from __future__ import annotations

from typing import Dict

import psycopg

from bench.capture import Statement
from bench.peers.bulk_rows import bulk_rows
from bench.peers.base import CursorPeer, PeerUnavailable

# The extended protocol counts parameters in 16 bits.
MAX_BOUND_PARAMETERS = 65535


class Psycopg3Peer(CursorPeer):
    name = "psycopg3"

    def __init__(self, keywords: Dict[str, str]) -> None:
        self._connection = psycopg.connect(autocommit=True, **keywords)
        self._cursor = self._connection.cursor()

    @staticmethod
    def implementation() -> str:
        return psycopg.pq.__impl__

    def _execute(self, statement: Statement) -> int:
        cursor = self._cursor
        if statement.params is not None and len(statement.params) > MAX_BOUND_PARAMETERS:
            # psycopg's own way of writing rows beyond the protocol's parameter limit.
            rows = bulk_rows(statement)
            if rows is None:
                raise PeerUnavailable(f"{len(statement.params)} parameters exceed the protocol's "
                                      f"{MAX_BOUND_PARAMETERS}")
            cursor.executemany(rows.single_row_insert(lambda n: "%s"), rows.rows)
            return -1
        return super()._execute(statement)  # json columns arrive decoded (psycopg's default)

    def describe(self) -> str:
        return f"psycopg {psycopg.__version__} ({self.implementation()})"
