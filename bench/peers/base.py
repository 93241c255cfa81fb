"""What every replaying implementation (peer driver or floor) offers the runner."""
from __future__ import annotations

import gc
import time
from abc import ABC, abstractmethod
from dataclasses import dataclass, field
from typing import Any, List

from bench.capture import Statement, StatementLog


class PeerUnavailable(RuntimeError):
    """The peer cannot run this workload (a driver limit, not a fault of ours)."""


@dataclass
class RunResult:
    seconds: float
    rows: List[int]  # rows returned by each timed statement (-1: none)
    notes: List[str] = field(default_factory=list)  # worth reporting with the workload's results


_ROLLBACK = Statement("ROLLBACK", None, b"ROLLBACK", -1)


def is_transaction_control(statement: Statement) -> bool:
    head = statement.template.lstrip()[:9].upper()
    return head.startswith(("BEGIN", "COMMIT", "ROLLBACK", "SAVEPOINT", "RELEASE"))


# A read of at least this many rows is streamed by the streaming variants.
MANY_ROWS = 1_000


def require_many_row_read(log: StatementLog, variant: str) -> None:
    """Streaming variants run only where they differ from their plain set-up."""
    if not any(statement.rows >= MANY_ROWS for statement in log.timed):
        raise PeerUnavailable(f"no read of {MANY_ROWS:,}+ rows: the {variant} would run as its plain set-up")


def quiet_heap() -> None:
    """Start each timed section with the same collector state."""
    gc.collect()


class Peer(ABC):
    name: str = ""

    @abstractmethod
    def _execute(self, statement: Statement) -> int:
        """Run one statement, fetch every row as Python objects; return the row count (-1: none)."""

    def run(self, log: StatementLog) -> RunResult:
        for statement in log.setup:
            self._execute(statement)
        quiet_heap()
        started = time.perf_counter()
        rows = self._run_timed(log.timed)
        seconds = time.perf_counter() - started
        for statement in log.finish:
            self._execute(statement)
        return RunResult(seconds, rows)

    def _run_timed(self, statements: List[Statement]) -> List[int]:
        """The timed statements, one after the other; the row count of each."""
        return [self._execute(statement) for statement in statements]

    def recover(self, log: StatementLog) -> None:
        """After a failed replay: end the transaction, then run the clean-up statements."""
        for statement in [None, *log.finish]:
            try:
                self._execute(_ROLLBACK)
                if statement is not None:
                    self._execute(statement)
            except Exception:  # best effort: whatever stays broken shows in the next run
                pass

    def forget(self, log: StatementLog) -> None:
        """The runner is done with `log`."""

    def describe(self) -> str:
        return self.name

    @abstractmethod
    def close(self) -> None:
        ...


class CursorPeer(Peer):
    """A PEP 249 driver: one cursor on one autocommit connection (the statements carry
    their own BEGIN/COMMIT, as our classes send them)."""

    _connection: Any
    _cursor: Any

    def _execute(self, statement: Statement) -> int:
        cursor = self._cursor
        cursor.execute(statement.template, statement.params)
        if cursor.description is None:
            return -1
        return len(cursor.fetchall())

    def close(self) -> None:
        self._connection.close()
