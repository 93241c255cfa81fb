"""The speed targets, checked against one run's medians and within-round ratios."""
from __future__ import annotations

from dataclasses import asdict, dataclass
from typing import Dict, List, Optional

from bench.floor_runner import FloorPeer, PreparedFloorPeer
from bench.runner import OURS, WorkloadResult

FLOOR = FloorPeer.name
PREPARED_FLOOR = PreparedFloorPeer.name
CATEGORY_LIMITS = {"read": 1.15, "bulk": 1.30, "roundtrip": 1.05}
# Per workload: (peer, "faster", factor): ours must beat the peer by at least the factor (peer time /
# our time); (peer, "within", limit): ours may take at most `limit` times the peer's time.
PEER_TARGETS = {
    "H1": [("psycopg2", "faster", 2.5), ("asyncpg", "faster", 1.7), (FLOOR, "within", 1.0),
           ("asyncpg", "faster", 1.2)],
    "H6": [("asyncpg", "within", 1.0), (PREPARED_FLOOR, "within", 1.1)],
    "H8": [("asyncpg", "within", 1.0), (PREPARED_FLOOR, "within", 1.1)],
}
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
            for peer, kind, limit in PEER_TARGETS.get(workload.key, []):
                ratio = outcome.ratio(peer)
                if kind == "faster":
                    targets.append(_at_least(scale, workload.key, f"{peer} / ours", 1 / ratio if ratio else None,
                                             limit))
                else:
                    targets.append(_at_most(scale, workload.key, f"ours / {peer}", ratio, limit))
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
