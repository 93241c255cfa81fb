"""Thousands of write/read/revert cycles, failing statements included, leave the
number of Python objects, the allocator's blocks and the process's resident memory
where they were after warming up."""
import gc
import os
import sys
import time

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.query.utils import Q
from store_sides import SIDES

PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")
PHASES = 4
# Bounds for the whole measured run, well above the noise of a clean run
# (malloc arenas, interned strings, libpq's buffers settling).
MAX_OBJECTS_GROWTH = 200
MAX_BLOCKS_GROWTH = 2_000
MAX_RSS_GROWTH = 4 * 1024 * 1024


def under_address_sanitizer() -> bool:
    """ASan keeps freed memory in quarantine, so resident memory says nothing there."""
    with open("/proc/self/maps", encoding="ascii", errors="replace") as maps:
        return "libasan" in maps.read()


def resident_bytes() -> int:
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * PAGE_SIZE


def sample() -> tuple[int, int, int]:
    gc.collect()
    return len(gc.get_objects()), sys.getallocatedblocks(), resident_bytes()


def nested_record(step: int) -> dict:
    return {"t": f"cycle {step} \u00e9\U0001f600", "i": step, "f": step / 7, "b": step % 2 == 0,
            "j": {"step": step, "tags": ["a", "b", str(step)], "deep": {"list": [{"x": None}, 1.5, True]}}}


def failing_statement(connection) -> None:
    with pytest.raises(NelvorConnectionError):
        connection.execute("SELECT %s::int", "not a number")


def historical_cycle(side, step: int) -> None:
    connection = side.connection
    failing_statement(connection)
    connection.begin()
    connection.begin()
    side.write("m1", nested_record(step), object_version=str(step))
    (found,) = side.read("m1")
    assert found["i"] == step
    assert connection.count(side.address("m1"), conditions=Q(_address__object_id="m1")) == 1
    connection.revert()
    connection.commit()


def state_cycle(side, step: int) -> None:
    connection = side.connection
    failing_statement(connection)
    connection.begin()
    connection.begin()
    side.write("m1", nested_record(step))
    connection.update(side.address("m1"), {"n": step, "j": {"updated": [step]}})
    (found,) = side.read("m1")
    assert found["n"] == step
    connection.revert()
    connection.commit()


CYCLES = {"historical": historical_cycle, "state": state_cycle}


@pytest.mark.parametrize("kind", sorted(SIDES))
def test_cycles_do_not_grow_memory(kind, database, soak):
    side = SIDES[kind](f"Memory{kind}")
    cycle = CYCLES[kind]
    seconds_per_phase = 30 if soak else 3.5
    step = 0

    def run_for(seconds: float) -> None:
        nonlocal step
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            step += 1
            cycle(side, step)

    try:
        run_for(seconds_per_phase)  # warm-up: caches, memo tables, allocator pools
        warm_step = step
        samples = [sample()]
        for _ in range(PHASES):
            run_for(seconds_per_phase)
            samples.append(sample())
    finally:
        side.close()

    measured = step - warm_step
    objects, blocks, rss = (last - first for first, last in zip(samples[0], samples[-1]))
    report = (f"{kind}: {measured} cycles after {warm_step} warm-up cycles; growth: {objects} objects, "
              f"{blocks} blocks, {rss / 1024:.0f} KiB resident; samples {samples}")
    print("\n" + report)
    assert measured >= 1000, report
    assert objects <= MAX_OBJECTS_GROWTH, report
    assert blocks <= MAX_BLOCKS_GROWTH, report
    assert rss <= MAX_RSS_GROWTH or under_address_sanitizer(), report
