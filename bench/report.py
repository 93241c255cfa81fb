"""The printed table of medians and ratios, and results/latest.json."""
from __future__ import annotations

import json
import statistics
from pathlib import Path
from typing import Dict, List, Optional

from bench.runner import OURS, WorkloadResult
from bench.targets import (DRIVER, FLOOR, PREPARED_FLOOR, STREAMED_FLOOR, Target, summary,
                           within_round_ratios)

PEERS = ("psycopg2", "psycopg2 tuned", "psycopg2 named", "psycopg3", "psycopg3 tuned", "psycopg3 prepared",
         "psycopg3 stream", "asyncpg", "asyncpg tuned")
FLOORS = (FLOOR, PREPARED_FLOOR, STREAMED_FLOOR)
COLUMNS = (OURS, DRIVER, *PEERS, *FLOORS, "server")


def _ms(value: Optional[float]) -> str:
    return "n/a" if value is None else f"{value * 1000:.1f}"


def _ratio(value: Optional[float]) -> str:
    return "n/a" if value is None else f"{value:.2f}"


def best_peer(outcome: WorkloadResult) -> Optional[str]:
    timed = [(outcome.median(peer), peer) for peer in PEERS if outcome.median(peer) is not None]
    return min(timed)[1] if timed else None


def table(scale: int, outcomes: List[WorkloadResult]) -> str:
    """One line per workload and implementation: median and spread of the rounds, and ours / it."""
    out = [f"scale {scale}: median ms of the rounds (min-max); ours / it: median of the per-round ratios (min-max)"]
    for outcome in outcomes:
        workload = outcome.workload
        out.append(f"{workload.key} {workload.title} ({workload.size} {workload.unit}, {outcome.statements} statements)")
        for name in COLUMNS:
            runs = outcome.seconds.get(name)
            if not runs:
                continue
            line = f"    {name:16} {_ms(outcome.median(name)):>9} ({_ms(min(runs))}-{_ms(max(runs))})"
            ratios = within_round_ratios(outcome, OURS, (name,)) if name != OURS else None
            if ratios:
                line += f"   ours / it {_ratio(statistics.median(ratios))} ({_ratio(min(ratios))}-{_ratio(max(ratios))})"
            out.append(line)
        for name, reason in outcome.unavailable.items():
            out.append(f"    {name} n/a: {reason}")
        for note in outcome.notes:
            out.append(f"    note: {note}")
    return "\n".join(out)


def targets_text(targets: List[Target]) -> str:
    out = ["targets:"]
    for target in targets:
        value = "n/a" if target.value is None else f"{target.value:.2f} ({target.low:.2f}-{target.high:.2f})"
        out.append(f"  [{target.verdict:7}] scale {target.scale} {target.workload}: {target.what} = {value} "
                   f"(target {target.limit})")
    out.append(summary(targets))
    return "\n".join(out)


def outcome_dict(outcome: WorkloadResult) -> dict:
    workload = outcome.workload
    return {
        "title": workload.title, "store": workload.store, "category": workload.category,
        "size": workload.size, "unit": workload.unit, "statements": outcome.statements,
        "median_seconds": {name: outcome.median(name) for name in outcome.seconds},
        "ratio_ours_to": {name: outcome.ratio(name) for name in outcome.seconds if name != OURS},
        "ratio_spread": {name: [min(ratios), max(ratios)] for name in outcome.seconds if name != OURS
                         for ratios in [within_round_ratios(outcome, OURS, (name,))] if ratios},
        "runs_seconds": outcome.seconds,
        "unavailable": outcome.unavailable, "notes": outcome.notes,
    }


def write_json(path: Path, meta: dict, results: Dict[int, List[WorkloadResult]], targets: List[Target]) -> None:
    document = {
        **meta,
        "scales": {str(scale): {outcome.workload.key: outcome_dict(outcome) for outcome in outcomes}
                   for scale, outcomes in sorted(results.items())},
        "targets": [target.as_dict() for target in targets],
        "targets_summary": summary(targets),
    }
    path.parent.mkdir(parents=True, exist_ok=True)
    temporary = path.with_suffix(".json.tmp")
    temporary.write_text(json.dumps(document, indent=2) + "\n", encoding="utf-8")
    temporary.replace(path)
