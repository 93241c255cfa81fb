"""Records the statements a connection instance sends, so that the peers and the
libpq floor can replay exactly the same SQL text with the same values.

The connection classes run every statement through the driver connection kept in
the instance's `_connection`; a recording stand-in there sees each `%s` template,
its parameters and the text the driver rendered from them.
"""
from __future__ import annotations

import contextlib
from dataclasses import dataclass, field
from typing import Any, Iterator, List, Optional, Tuple

PHASES = ("setup", "timed", "finish")


@dataclass(frozen=True)
class Statement:
    template: str
    params: Optional[Tuple[Any, ...]]  # None: sent as is, no placeholder processing
    rendered: bytes  # the text our driver sent to the server
    rows: int  # rows the statement returned (-1: none, e.g. an INSERT)

    @property
    def returns_rows(self) -> bool:
        return self.rows >= 0


@dataclass
class StatementLog:
    """The statements of one workload run, by phase."""

    setup: List[Statement] = field(default_factory=list)
    timed: List[Statement] = field(default_factory=list)
    finish: List[Statement] = field(default_factory=list)
    phase: str = "setup"

    def record(self, statement: Statement) -> None:
        getattr(self, self.phase).append(statement)

    def phases(self) -> Iterator[Tuple[str, List[Statement]]]:
        for phase in PHASES:
            yield phase, getattr(self, phase)


class _RecordingCursor:
    def __init__(self, cursor: Any, log: StatementLog) -> None:
        self._cursor = cursor
        self._log = log

    def execute(self, query: str, params: Any = None) -> Any:
        result = self._cursor.execute(query, params)
        rows = self._cursor.rowcount if self._cursor.description is not None else -1
        self._log.record(Statement(query, None if params is None else tuple(params),
                                   bytes(self._cursor.query), rows))
        return result

    def __getattr__(self, name: str) -> Any:
        return getattr(self._cursor, name)

    def __iter__(self):
        return iter(self._cursor)


class _RecordingConnection:
    def __init__(self, connection: Any, log: StatementLog) -> None:
        self._connection = connection
        self._log = log

    def cursor(self, *args: Any, **kwargs: Any) -> _RecordingCursor:
        return _RecordingCursor(self._connection.cursor(*args, **kwargs), self._log)

    def __getattr__(self, name: str) -> Any:
        return getattr(self._connection, name)


@contextlib.contextmanager
def recording(instance: Any, log: StatementLog) -> Iterator[StatementLog]:
    """While active, every statement `instance` executes is appended to `log`
    under its current phase (set `log.phase` between the phases)."""
    real = instance._connection
    instance._connection = _RecordingConnection(real, log)
    try:
        yield log
    finally:
        instance._connection = real
