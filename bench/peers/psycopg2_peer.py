"""psycopg2: renders the parameters into the text client-side, as our driver does."""
from __future__ import annotations

from typing import Dict

import psycopg2

from bench.peers.base import CursorPeer


class Psycopg2Peer(CursorPeer):
    """Json columns arrive decoded (psycopg2's default)."""
    name = "psycopg2"

    def __init__(self, keywords: Dict[str, str]) -> None:
        self._connection = psycopg2.connect(**keywords)
        self._connection.autocommit = True  # our classes send BEGIN/COMMIT themselves
        self._cursor = self._connection.cursor()

    def describe(self) -> str:
        return f"psycopg2 {psycopg2.__version__.split()[0]}"
