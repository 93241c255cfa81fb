"""Reads and bulk writes pause Python's cyclic collector while they build many
containers; whether they succeed or fail half-way, the collector is left as the
caller had it (on stays on, off stays off)."""
import gc

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from store_sides import SIDES


def bulk_write(side, records: list) -> None:
    pairs = [(side.address(f"c{index}"), record) for index, record in enumerate(records)]
    connection = side.connection
    if side.kind == "historical":
        connection.bulk_put(pairs)
    else:
        connection.bulk_insert(pairs)


def bulk_update(side, records: list) -> None:
    pairs = [(side.address(f"c{index}"), record) for index, record in enumerate(records)]
    side.connection.bulk_update(pairs)


@pytest.fixture(params=sorted(SIDES))
def side(request, database):
    side = SIDES[request.param](f"Collector{request.param}")
    yield side
    side.close()


@pytest.mark.parametrize("collector_on", [True, False], ids=["collector-on", "collector-off"])
def test_collector_is_left_as_the_caller_had_it(side, collector_on):
    connection = side.connection
    was_enabled = gc.isenabled()
    (gc.enable if collector_on else gc.disable)()
    try:
        connection.begin()
        bulk_write(side, [{"t": f"row {index}", "i": index, "j": {"k": [index]}} for index in range(50)])
        assert gc.isenabled() is collector_on
        assert connection.execute(f'SELECT count(*) FROM "{side.table}"').fetchall() == [(50,)]
        side.query()  # a read builds its records with the collector paused too
        assert gc.isenabled() is collector_on

        # A record that is not a map, after good ones: refused half-way through the rows.
        with pytest.raises(TypeError):
            bulk_write(side, [{"t": "fine"}, ["not", "a", "map"]])
        assert gc.isenabled() is collector_on
        if side.kind == "state":
            bulk_update(side, [{"i": index + 1} for index in range(50)])
            assert gc.isenabled() is collector_on
            with pytest.raises(TypeError):
                bulk_update(side, [{"i": 1}, "not a map"])
            assert gc.isenabled() is collector_on

        # A value the server refuses: the statement was built, then failed.
        with pytest.raises(NelvorConnectionError):
            bulk_write(side, [{"i": "not a number"}])
        assert gc.isenabled() is collector_on
        connection.rollback()
    finally:
        (gc.enable if was_enabled else gc.disable)()
