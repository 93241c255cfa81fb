"""The targets taken from a run, and the results documents (new and older ones) drawn and tabled."""
import json
from pathlib import Path

import pytest

from bench import chart, markdown, report, targets
from bench.runner import WorkloadResult
from bench.workload import Workload, nothing

RESULTS = Path(__file__).resolve().parents[1] / "results"


def _outcome(key: str, category: str, **seconds: float) -> WorkloadResult:
    workload = Workload(key, "t", "historical", False, category, 1, "reads", operation=nothing)
    names = {"libpq_floor": "libpq floor", "prepared_floor": "prepared floor"}
    return WorkloadResult(workload, 1, seconds={names.get(name, name): [value] * 3
                                                for name, value in seconds.items()})


@pytest.mark.parametrize("outcome, expected", [
    (_outcome("H1", "read", ours=1.0, psycopg2=2.0, asyncpg=1.5, libpq_floor=1.1),
     {("ours / libpq floor", "<= 1.15"): True, ("psycopg2 / ours", ">= 2.5"): False,
      ("asyncpg / ours", ">= 1.7"): False, ("ours / libpq floor", "<= 1"): True, ("asyncpg / ours", ">= 1.2"): True}),
    (_outcome("H8", "roundtrip", ours=1.0, asyncpg=1.1, prepared_floor=0.8),
     {("ours / libpq floor", "<= 1.05"): None, ("ours / asyncpg", "<= 1"): True,
      ("ours / prepared floor", "<= 1.1"): False}),
    (_outcome("H6", "roundtrip", ours=1.0, asyncpg=0.9, libpq_floor=1.0, prepared_floor=0.95),
     {("ours / libpq floor", "<= 1.05"): True, ("ours / asyncpg", "<= 1"): False,
      ("ours / prepared floor", "<= 1.1"): True}),
])
def test_targets_of_a_workload(outcome, expected):
    checked = targets.check({1: [outcome]})
    assert {(target.what, target.limit): target.holds for target in checked} == expected
    assert len(checked) == len(expected)


def test_new_and_older_results_documents_are_tabled_and_drawn(tmp_path):
    outcome = _outcome("H8", "roundtrip", ours=1.0, asyncpg=1.1, libpq_floor=0.9, prepared_floor=0.8)
    fresh = tmp_path / "fresh.json"
    report.write_json(fresh, {"rounds": 3}, {1: [outcome]}, targets.check({1: [outcome]}))
    for path in [fresh, *sorted(RESULTS.glob("*.json"))]:
        text = path.read_text(encoding="utf-8")
        document = json.loads(text)
        table = markdown.tables(document)
        # The column is there exactly when the run measured the prepared floor.
        assert ("ours / prepared floor" in table) == ("prepared floor" in text)
        chart.draw(tmp_path / f"{path.stem}.png", document["scales"])
        assert (tmp_path / f"{path.stem}.png").stat().st_size > 0
