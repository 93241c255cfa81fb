"""The speed targets, checked against one run's medians and within-round ratios."""
from __future__ import annotations

from dataclasses import asdict, dataclass
from typing import Dict, List, Optional

from bench.runner import OURS, WorkloadResult

FLOOR = "libpq floor"
CATEGORY_LIMITS = {"read": 1.15, "bulk": 1.30, "roundtrip": 1.05}
# H1 must beat these peers by at least these factors (peer time / our time).
H1_SPEEDUPS = {"psycopg2": 2.5, "asyncpg": 1.7}
SCALE_GROWTH_LIMIT = 10.5


@dataclass
class Target:
    scale: int
    workload: str
    what: str
    limit: str
    value: Optional[float]
    holds: Optional[bool]  # None: not measurable in this run

    def as_dict(self) -> dict:
        return asdict(self)


def _at_most(scale: int, key: str, what: str, value: Optional[float], limit: float) -> Target:
    return Target(scale, key, what, f"<= {limit:g}", value, None if value is None else value <= limit)


def _at_least(scale: int, key: str, what: str, value: Optional[float], limit: float) -> Target:
    return Target(scale, key, what, f">= {limit:g}", value, None if value is None else value >= limit)


def check(results: Dict[int, List[WorkloadResult]]) -> List[Target]:
    targets: List[Target] = []
    for scale, outcomes in sorted(results.items()):
        for outcome in outcomes:
            workload = outcome.workload
            limit = CATEGORY_LIMITS.get(workload.category)
            if limit is not None:
                targets.append(_at_most(scale, workload.key, "ours / libpq floor", outcome.ratio(FLOOR), limit))
            if workload.key == "H1":
                for peer, speedup in H1_SPEEDUPS.items():
                    ratio = outcome.ratio(peer)
                    targets.append(_at_least(scale, "H1", f"{peer} / ours", None if not ratio else 1 / ratio,
                                             speedup))
    scales = sorted(results)
    if len(scales) > 1:
        low, high = scales[0], scales[-1]
        factor = high / low
        by_key = {outcome.workload.key: outcome for outcome in results[low]}
        for outcome in results[high]:
            base = by_key.get(outcome.workload.key)
            small, large = (base.median(OURS) if base else None), outcome.median(OURS)
            growth = large / small if small and large else None
            targets.append(_at_most(high, outcome.workload.key, f"ours at {high}x / ours at {low}x", growth,
                                    SCALE_GROWTH_LIMIT * factor / 10))
    return targets


def summary(targets: List[Target]) -> str:
    held = sum(1 for target in targets if target.holds)
    failed = sum(1 for target in targets if target.holds is False)
    unknown = sum(1 for target in targets if target.holds is None)
    return f"{held} targets hold, {failed} fail, {unknown} not measured"
