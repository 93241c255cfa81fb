"""psycopg2: renders the parameters into the text client-side, as our driver does."""
from __future__ import annotations

from typing import Dict

import psycopg2

from bench.capture import Statement
from bench.peers.base import Peer


class Psycopg2Peer(Peer):
    name = "psycopg2"

    def __init__(self, keywords: Dict[str, str]) -> None:
        self._connection = psycopg2.connect(**keywords)
        self._connection.autocommit = True  # our classes send BEGIN/COMMIT themselves
        self._cursor = self._connection.cursor()

    def _execute(self, statement: Statement) -> int:
        cursor = self._cursor
        cursor.execute(statement.template, statement.params)
        if cursor.description is None:
            return -1
        return len(cursor.fetchall())  # json columns arrive decoded (psycopg2's default)

    def describe(self) -> str:
        return f"psycopg2 {psycopg2.__version__.split()[0]}"

    def close(self) -> None:
        self._connection.close()
