"""The targets taken from a run, and the results documents (new and older ones) drawn and tabled."""
import json
from pathlib import Path

import pytest

from bench import chart, markdown, report, targets
from bench.runner import WorkloadResult
from bench.workload import Workload, nothing

RESULTS = Path(__file__).resolve().parents[1] / "results"


def _outcome(key: str, category: str, **seconds) -> WorkloadResult:
    """Times per implementation: one value for three equal rounds, or a list of rounds."""
    workload = Workload(key, "t", "historical", False, category, 1, "reads", operation=nothing)
    names = {"prepared_floor": "prepared floor", "streamed_floor": "streamed floor", "driver": "our driver",
             "asyncpg_tuned": "asyncpg tuned", "psycopg3_tuned": "psycopg3 tuned", "psycopg2_tuned": "psycopg2 tuned"}
    return WorkloadResult(workload, 1, seconds={names.get(name, name): value if isinstance(value, list) else [value] * 3
                                                for name, value in seconds.items()})


@pytest.mark.parametrize("outcome, expected", [
    # Reads: the driver against tuned asyncpg and the best floor of each round, the classes against asyncpg.
    (_outcome("H1", "read", ours=1.4, driver=[0.9, 1.0, 1.1], asyncpg_tuned=1.0, prepared_floor=[0.5, 2, 2],
              streamed_floor=[2, 0.6, 0.7]),
     {("our driver / asyncpg tuned", "<= 1"): None, ("ours / asyncpg tuned", "<= 1.5"): True,
      ("our driver / best of prepared floor | streamed floor", "<= 1.15"): False}),
    # Bulk writes: against the best COPY peer and execute_values.
    (_outcome("S1", "bulk", ours=[1.0, 1.2, 1.4], psycopg3_tuned=[0.9, 1.0, 1.0], asyncpg_tuned=[0.8, 2.0, 0.6],
              psycopg2_tuned=3.0),
     {("ours / best of psycopg3 tuned | asyncpg tuned", "<= 1.5"): None, ("ours / psycopg2 tuned", "<= 0.5"): True}),
    (_outcome("H8", "roundtrip", ours=1.0, asyncpg_tuned=1.1, psycopg3_tuned=0.5, prepared_floor=0.8),
     {("ours / asyncpg tuned", "<= 1"): True, ("ours / psycopg3 tuned", "<= 1"): False,
      ("ours / prepared floor", "<= 1.1"): False}),
    (_outcome("H4", "roundtrip", ours=1.0, asyncpg_tuned=1.1), {}),
])
def test_targets_of_a_workload(outcome, expected):
    checked = targets.check({1: [outcome]})
    assert {(target.what, target.limit): target.holds for target in checked} == expected


def test_growth_is_judged_on_the_spread_of_both_scales():
    small = _outcome("S3", "bulk", ours=[1.0, 1.1, 1.2])
    steady, doubtful, quadratic = (_outcome("S3", "bulk", ours=runs) for runs in
                                   ([9.0, 10.0, 10.5], [9.0, 10.0, 14.0], [90.0, 100.0, 110.0]))
    verdicts = [targets.check({1: [small], 10: [large]})[-1] for large in (steady, doubtful, quadratic)]
    assert [(target.verdict, round(target.value, 2)) for target in verdicts] == [
        ("held", 9.09), ("unclear", 9.09), ("failed", 90.91)]


def test_new_and_older_results_documents_are_tabled_and_drawn(tmp_path):
    outcome = _outcome("H8", "roundtrip", ours=1.0, asyncpg=1.1, libpq_floor=0.9, prepared_floor=0.8)
    fresh = tmp_path / "fresh.json"
    report.write_json(fresh, {"rounds": 3}, {1: [outcome]}, targets.check({1: [outcome]}))
    for path in [fresh, *sorted(RESULTS.glob("*.json"))]:
        text = path.read_text(encoding="utf-8")
        document = json.loads(text)
        table = markdown.tables(document)
        # The column is there exactly when the run measured the prepared floor.
        assert ("prepared floor" in table) == ("prepared floor" in text)
        chart.draw(tmp_path / f"{path.stem}.png", document["scales"])
        assert (tmp_path / f"{path.stem}.png").stat().st_size > 0
