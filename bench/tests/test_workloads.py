"""The workloads on the real classes over the scale-1 dataset: each sends the statements
it claims to, returns what it should, and its statements decode alike in every driver."""
import math

import pytest

from bench import dataset
from bench.historical_workloads import historical_workloads
from bench.ours import Ours
from bench.records import Shape
from bench.state_workloads import state_workloads
from bench.stores import Stores

SHAPE = Shape(1)
# Timed statements per workload at scale 1.
EXPECTED_STATEMENTS = {"H1": 1, "H2": 1, "H3": 1, "H4": 500, "H5": 1, "H6": 6000, "H7": 1000, "H8": 500,
                       "S1": 1, "S2": 1, "S3": 1, "S4": 1, "S5": 2000, "S6": 1000}


@pytest.fixture(scope="module")
def stores(server, database):
    dataset.build(server, database, SHAPE, say=lambda _text: None)
    opened = Stores(server, database)
    yield opened
    opened.close()


@pytest.fixture(scope="module")
def captures(stores):
    logs = {}
    for workload in historical_workloads(SHAPE) + state_workloads(SHAPE):
        ours = Ours(stores.get(workload.store, workload.revert), workload)
        ours.run(None)  # warm-up, as the runner does
        logs[workload.key] = (workload, *ours.capture())
    return logs


@pytest.mark.parametrize("key", sorted(EXPECTED_STATEMENTS))
def test_workload_sends_its_statements_and_returns_its_records(key, captures):
    workload, log, size = captures[key]
    assert len(log.timed) == EXPECTED_STATEMENTS[key]
    if workload.expected_records is not None:
        assert size == workload.expected_records


def test_writes_leave_the_dataset_as_they_found_it(captures, stores):
    historical = stores.get("historical", False)
    state = stores.get("state", False)
    assert historical.execute('SELECT count(*) FROM "benchitem_v_1"').fetchone()[0] == SHAPE.objects * 5
    assert state.execute('SELECT count(*) FROM "benchstate_v_1"').fetchone()[0] == SHAPE.state_rows


def _same(ours, theirs):
    if isinstance(ours, float) or isinstance(theirs, float):
        return math.isclose(ours, theirs, rel_tol=1e-6)
    return ours == theirs


@pytest.mark.parametrize("key", ["H2", "S5"])
def test_every_driver_decodes_the_replayed_rows_as_our_driver_does(key, captures, stores, keywords):
    import psycopg2
    workload, log, _ = captures[key]
    statement = next(s for s in log.timed if s.returns_rows)
    ours = stores.get(workload.store, workload.revert).execute(statement.template, *statement.params).fetchall()
    connection = psycopg2.connect(**keywords)
    try:
        with connection.cursor() as cursor:
            cursor.execute(statement.template, statement.params)
            theirs = cursor.fetchall()
    finally:
        connection.close()
    assert len(ours) == len(theirs) > 0
    by_key = lambda row: (row[0], row[1])  # noqa: E731 - the rows come in no fixed order
    for our_row, their_row in zip(sorted(ours, key=by_key), sorted(theirs, key=by_key)):
        assert all(_same(a, b) for a, b in zip(our_row, their_row))
