"""Our own driver replaying the statements like the peers do: what the driver costs
apart from the classes (building the framework's records, the revert log, ...)."""
from __future__ import annotations

from typing import Dict

from bench.peers.base import CursorPeer


class OurDriverPeer(CursorPeer):
    name = "our driver"

    def __init__(self, keywords: Dict[str, str]) -> None:
        from nelvor_data.connections.implementations import ledger_store
        words = {("database" if key == "dbname" else key): value for key, value in keywords.items()}
        self._connection = ledger_store.connect(**words)
        self._connection.autocommit = True  # the statements carry their own BEGIN/COMMIT
        self._cursor = self._connection.cursor()

    def describe(self) -> str:
        return "our driver (cursor.execute and fetchall, as the classes run it)"
