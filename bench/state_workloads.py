"""S1-S6: reads and writes of the state class."""
from __future__ import annotations

from typing import Any, List

from nelvor_utils.models.data_models.address import Address

from bench.records import CLASS_VERSION, STATE_CLASS, Shape, state_address, state_id, state_pairs, state_record
from bench.workload import Workload, raw_rollback, rollback

CLASS_ADDRESS = Address(class_name=STATE_CLASS, class_version=CLASS_VERSION)


def _begin(connection: Any) -> None:
    connection.begin()


def _changes(first: int, count: int, salt: int) -> list:
    return [(state_address(state_id(index)), state_record(index, salt)) for index in range(first, first + count)]


def state_workloads(shape: Shape) -> List[Workload]:
    scale = shape.scale
    bulk = 10_000 * scale
    inserts = state_pairs(0, bulk, salt=1, prefix="s1-")
    updates = _changes(0, bulk, salt=2)
    deletes = [state_address(state_id(index)) for index in range(bulk, 2 * bulk)]
    workloads = [
        Workload("S1", "bulk_insert, rolled back", "state", False, "bulk", bulk, "rows",
                 prepare=_begin, operation=lambda c: c.bulk_insert(inserts), finish=rollback, writes=True),
        Workload("S2", "bulk_update, rolled back", "state", False, "bulk", bulk, "rows",
                 prepare=_begin, operation=lambda c: c.bulk_update(updates), finish=rollback, writes=True),
        Workload("S3", "bulk_delete, rolled back", "state", False, "bulk", bulk, "rows",
                 prepare=_begin, operation=lambda c: c.bulk_delete(deletes), finish=rollback, writes=True),
        Workload("S4", "query, every record", "state", False, "read", shape.state_rows, "records",
                 operation=lambda c: c.query(CLASS_ADDRESS), expected_records=shape.state_rows),
    ]

    singles = _changes(2 * bulk, 1_000 * scale, salt=3)

    def update_each(connection: Any) -> None:
        for address, record in singles:
            connection.update(address, {"rank": record["rank"], "title": record["title"]})
    workloads.append(Workload("S5", "update with revert (2 statements each)", "state", True, "roundtrip",
                              len(singles), "updates", prepare=_begin, operation=update_each, finish=rollback,
                              writes=True))

    mixed_first = 2 * bulk + len(singles)
    mixed = 1_000 * scale

    def mixed_writes(connection: Any) -> None:
        connection.begin()
        for step in range(mixed):
            index = mixed_first + step
            if step % 3 == 0:
                connection.insert(state_address("s6-" + state_id(index)), state_record(index, 4))
            elif step % 3 == 1:
                connection.update(state_address(state_id(index)), {"rank": step, "active": False})
            else:
                connection.delete(state_address(state_id(index)))
    workloads.append(Workload("S6", "revert of mixed writes", "state", True, "other", mixed, "entries",
                              prepare=mixed_writes, operation=lambda c: c.revert(), finish=raw_rollback,
                              writes=True))
    return workloads
