"""The speed targets, checked against one run's within-round ratios. A target is held
when every round's ratio meets it, failed when none does, and unclear when the
rounds' spread straddles the limit."""
from __future__ import annotations

from dataclasses import asdict, dataclass
from typing import Dict, List, Optional, Sequence, Tuple

from bench.runner import OURS, WorkloadResult

FLOOR = "libpq floor"
PREPARED_FLOOR = "prepared floor"
STREAMED_FLOOR = "streamed floor"
DRIVER = "our driver"
ASYNCPG_TUNED = "asyncpg tuned"
PSYCOPG3_TUNED = "psycopg3 tuned"
PSYCOPG2_TUNED = "psycopg2 tuned"  # writes bulk rows with execute_values
COPY_PEERS = (PSYCOPG3_TUNED, ASYNCPG_TUNED)  # write bulk rows with COPY
BEST_FLOORS = (PREPARED_FLOOR, STREAMED_FLOOR)

# (workloads, who, against: one name or several (the best of them in each round), limit)
TARGETS: List[Tuple[Sequence[str], str, Tuple[str, ...], float]] = [
    (("H1", "H2", "S4"), DRIVER, (ASYNCPG_TUNED,), 1.0),
    (("H1", "H2", "S4"), OURS, (ASYNCPG_TUNED,), 1.5),
    (("H1", "H2", "S4"), DRIVER, BEST_FLOORS, 1.15),
    (("H5", "S1", "S2"), OURS, COPY_PEERS, 1.5),
    (("H5", "S1", "S2"), OURS, (PSYCOPG2_TUNED,), 0.5),
    (("H6", "H8"), OURS, (PSYCOPG3_TUNED,), 1.0),
    (("H6", "H8"), OURS, (ASYNCPG_TUNED,), 1.0),
    (("H6", "H8"), OURS, (PREPARED_FLOOR,), 1.1),
]
SCALE_GROWTH_LIMIT = 10.5


@dataclass
class Target:
    scale: int
    workload: str
    what: str
    limit: str
    value: Optional[float]  # median of the rounds
    holds: Optional[bool]  # None: unclear (the spread straddles the limit) or not measured
    low: Optional[float] = None  # spread of the rounds
    high: Optional[float] = None

    def as_dict(self) -> dict:
        return asdict(self)

    @property
    def verdict(self) -> str:
        if self.value is None:
            return "n/a"
        return {True: "held", False: "failed", None: "unclear"}[self.holds]


def _median(values: List[float]) -> float:
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def within_round_ratios(outcome: WorkloadResult, who: str, against: Sequence[str]) -> Optional[List[float]]:
    """Per round: `who`'s time over the best time of `against` in that round."""
    mine = outcome.seconds.get(who)
    others = [outcome.seconds[name] for name in against if outcome.seconds.get(name)]
    if not mine or not others or any(len(runs) != len(mine) for runs in others):
        return None
    return [m / min(runs[i] for runs in others) for i, m in enumerate(mine)]


def judged(scale: int, key: str, what: str, ratios: Optional[List[float]], limit: float) -> Target:
    if not ratios:
        return Target(scale, key, what, f"<= {limit:g}", None, None)
    low, high = min(ratios), max(ratios)
    holds = True if high <= limit else False if low > limit else None
    return Target(scale, key, what, f"<= {limit:g}", _median(ratios), holds, low, high)


def check(results: Dict[int, List[WorkloadResult]]) -> List[Target]:
    targets: List[Target] = []
    for scale, outcomes in sorted(results.items()):
        for outcome in outcomes:
            key = outcome.workload.key
            for keys, who, against, limit in TARGETS:
                if key in keys:
                    names = " | ".join(against)
                    what = f"{who} / {'best of ' + names if len(against) > 1 else names}"
                    targets.append(judged(scale, key, what, within_round_ratios(outcome, who, against), limit))
    scales = sorted(results)
    if len(scales) > 1:
        low, high = scales[0], scales[-1]
        factor = high / low
        by_key = {outcome.workload.key: outcome for outcome in results[low]}
        for outcome in results[high]:
            base = by_key.get(outcome.workload.key)
            small, large = (base.seconds.get(OURS) if base else None), outcome.seconds.get(OURS)
            what = f"ours at {high}x / ours at {low}x"
            limit = SCALE_GROWTH_LIMIT * factor / 10
            if not small or not large:
                targets.append(judged(high, outcome.workload.key, what, None, limit))
                continue
            target = judged(high, outcome.workload.key, what, [min(large) / max(small), max(large) / min(small)],
                            limit)
            target.value = _median(large) / _median(small)
            targets.append(target)
    return targets


def summary(targets: List[Target]) -> str:
    counts = {verdict: sum(1 for target in targets if target.verdict == verdict)
              for verdict in ("held", "failed", "unclear", "n/a")}
    return (f"{counts['held']} targets held, {counts['failed']} failed, {counts['unclear']} unclear "
            f"(the rounds' spread straddles the limit), {counts['n/a']} not measured")
