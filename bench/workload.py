"""One benchmarked operation: untimed preparation, the timed call of our class and
untimed clean-up, with what the targets need to know about it."""
from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Callable, Optional

Step = Callable[[Any], Any]


def nothing(_connection: Any) -> None:
    return None


def rollback(connection: Any) -> None:
    connection.rollback()


def raw_rollback(connection: Any) -> None:
    """End the transaction after `revert`, which has already removed the revert level
    that `rollback` would pop."""
    connection.execute("ROLLBACK")
    connection._revert_data.clear()
    connection._savepoints.clear()


@dataclass
class Workload:
    key: str  # "H1"
    title: str
    store: str  # "historical" or "state"
    revert: bool  # connection built with is_revert_supported
    category: str  # "read", "bulk", "roundtrip" or "other": which target applies
    size: int  # records read or written, or operations run
    unit: str
    operation: Step
    prepare: Step = nothing
    finish: Step = nothing
    expected_records: Optional[int] = None  # length of the operation's result, for reads
    # Inserts (kept or rolled back) leave dead index entries for the same keys run after run;
    # the runner vacuums the table after each run of such a workload, untimed.
    writes: bool = False
    notes: list = field(default_factory=list)

    def label(self) -> str:
        return f"{self.key} {self.title}"
