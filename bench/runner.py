"""Runs each workload on every implementation, interleaved round by round, and
summarises medians and the ratios taken within each round."""
from __future__ import annotations

import gc
import statistics
import traceback
from dataclasses import dataclass, field
from typing import Any, Callable, Dict, List, Optional

from bench.capture import StatementLog
from bench.floor_runner import FloorPeer
from bench.ours import Ours
from bench.peers.base import PeerUnavailable, RunResult
from bench.workload import Workload

OURS = "ours"


@dataclass
class WorkloadResult:
    workload: Workload
    statements: int
    seconds: Dict[str, List[float]] = field(default_factory=dict)
    unavailable: Dict[str, str] = field(default_factory=dict)
    notes: List[str] = field(default_factory=list)

    def median(self, name: str) -> Optional[float]:
        runs = self.seconds.get(name)
        return statistics.median(runs) if runs else None

    def ratio(self, name: str) -> Optional[float]:
        """Median over the rounds of ours / `name` (below 1: ours is faster)."""
        ours, other = self.seconds.get(OURS), self.seconds.get(name)
        if not ours or not other or len(ours) != len(other):
            return None
        return statistics.median(o / x for o, x in zip(ours, other) if x > 0)


def _check_rows(peer: Any, log: StatementLog, result: RunResult, notes: List[str]) -> None:
    name = peer.name
    expected = [statement.rows for statement in log.timed]
    if isinstance(peer, FloorPeer):  # counts the rows of all timed statements together
        total = sum(rows for rows in expected if rows > 0)
        if result.rows != [total]:
            notes.append(f"{name} read {result.rows[0]} rows, ours {total}")
    elif name != "server" and result.rows != expected:
        notes.append(f"{name} returned different row counts than ours")


def _reset_ours(connection: Any) -> None:
    """After a failed operation: no transaction and no revert level left open."""
    try:
        connection.execute("ROLLBACK")
    except Exception:  # nothing was open
        pass
    connection._revert_data.clear()
    connection._savepoints.clear()


Tidy = Callable[[Workload], None]


def run_workload(workload: Workload, connection: Any, peers: List[Any], rounds: int,
                 tidy: Tidy = lambda _workload: None) -> WorkloadResult:
    ours = Ours(connection, workload)
    ours.run(StatementLog())  # warm-up: table descriptions are cached from here on
    tidy(workload)
    log, size = ours.capture()
    tidy(workload)
    result = WorkloadResult(workload, statements=len(log.timed))
    if workload.expected_records is not None and size != workload.expected_records:
        result.notes.append(f"ours returned {size} records, expected {workload.expected_records}")
    runners = {OURS: ours}
    for peer in peers:
        try:
            warm = peer.run(log)
            tidy(workload)
        except PeerUnavailable as reason:
            result.unavailable[peer.name] = str(reason)
            peer.recover(log)
            continue
        except Exception as error:  # a driver that cannot run this SQL is reported, not fatal
            result.unavailable[peer.name] = f"{type(error).__name__}: {str(error).splitlines()[0][:200]}"
            peer.recover(log)
            continue
        _check_rows(peer, log, warm, result.notes)
        result.notes += [f"{peer.name}: {note}" for note in warm.notes]
        runners[peer.name] = peer
    names = list(runners)
    for name in names:
        result.seconds[name] = []
    # What the benchmark itself holds (every workload's input, the captured statements)
    # is not the business of the collector runs that the timed calls trigger.
    gc.freeze()
    try:
        for round_number in range(rounds):
            # Rotate the order so that no implementation always runs right after another.
            shift = round_number % len(names)
            for name in names[shift:] + names[:shift]:
                result.seconds[name].append(runners[name].run(log).seconds)
                tidy(workload)
    finally:
        gc.unfreeze()
    for peer in peers:
        peer.forget(log)
    return result


def run_all(workloads: List[Workload], connection_for: Callable[[Workload], Any], peers: List[Any],
            rounds: int, say: Callable[[str], None] = print, tidy: Tidy = lambda _workload: None
            ) -> List[WorkloadResult]:
    results = []
    for workload in workloads:
        say(f"  {workload.label()} ({workload.size} {workload.unit})")
        try:
            outcome = run_workload(workload, connection_for(workload), peers, rounds, tidy)
        except Exception as error:
            say(traceback.format_exc())
            _reset_ours(connection_for(workload))
            outcome = WorkloadResult(workload, statements=0, notes=[f"failed: {type(error).__name__}: {error}"[:300]])
        results.append(outcome)
        say("    " + ", ".join(f"{name} {statistics.median(runs) * 1000:.1f} ms"
                               for name, runs in outcome.seconds.items() if runs)
            + "".join(f"; {name} n/a" for name in outcome.unavailable))
    return results
