"""The printed table of medians and ratios, and results/latest.json."""
from __future__ import annotations

import json
from pathlib import Path
from typing import Dict, List, Optional

from bench.runner import OURS, WorkloadResult
from bench.targets import FLOOR, PREPARED_FLOOR, Target, summary

PEERS = ("psycopg2", "psycopg3", "asyncpg")
COLUMNS = (OURS, *PEERS, FLOOR, PREPARED_FLOOR, "server")
HEADINGS = ("ours", "psycopg2", "psycopg3", "asyncpg", "floor", "prep floor", "server")


def _ms(value: Optional[float]) -> str:
    return "n/a" if value is None else f"{value * 1000:.1f}"


def _ratio(value: Optional[float]) -> str:
    return "n/a" if value is None else f"{value:.2f}"


def best_peer(outcome: WorkloadResult) -> Optional[str]:
    timed = [(outcome.median(peer), peer) for peer in PEERS if outcome.median(peer) is not None]
    return min(timed)[1] if timed else None


def table(scale: int, outcomes: List[WorkloadResult]) -> str:
    head = ["workload", "size", "stmts", *[f"{h} ms" for h in HEADINGS], "ours/floor", "ours/prep floor",
            "ours/best peer"]
    lines = []
    for outcome in outcomes:
        workload = outcome.workload
        best = best_peer(outcome)
        lines.append([f"{workload.key} {workload.title}", f"{workload.size}", f"{outcome.statements}",
                      *[_ms(outcome.median(name)) for name in COLUMNS], _ratio(outcome.ratio(FLOOR)),
                      _ratio(outcome.ratio(PREPARED_FLOOR)),
                      f"{_ratio(outcome.ratio(best))} ({best})" if best else "n/a"])
    widths = [max(len(row[i]) for row in [head, *lines]) for i in range(len(head))]

    def render(row: List[str]) -> str:
        return "  ".join(cell.ljust(width) if i == 0 else cell.rjust(width) for i, (cell, width)
                         in enumerate(zip(row, widths)))
    out = [f"scale {scale}: medians of the rounds; ratios are medians of ours/other within each round",
           render(head), render(["-" * w for w in widths])]
    out += [render(row) for row in lines]
    for outcome in outcomes:
        for name, reason in outcome.unavailable.items():
            out.append(f"  {outcome.workload.key}: {name} n/a: {reason}")
        for note in outcome.notes:
            out.append(f"  {outcome.workload.key}: {note}")
    return "\n".join(out)


def targets_text(targets: List[Target]) -> str:
    marks = {True: "holds", False: "FAILS", None: "n/a"}
    out = ["targets:"]
    for target in targets:
        value = "n/a" if target.value is None else f"{target.value:.2f}"
        out.append(f"  [{marks[target.holds]:5}] scale {target.scale} {target.workload}: {target.what} = {value} "
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
