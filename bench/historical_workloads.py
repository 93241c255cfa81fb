"""H1-H8: reads and writes of the historical class."""
from __future__ import annotations

from typing import Any, List

from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.utils import Q

from bench.records import CLASS_VERSION, HISTORICAL_CLASS, Shape, item_address, item_id, item_record
from bench.workload import Workload, raw_rollback, rollback

CLASS_ADDRESS = Address(class_name=HISTORICAL_CLASS, class_version=CLASS_VERSION)


def _begin(connection: Any) -> None:
    connection.begin()


def _new_versions(count: int, version: str) -> list:
    return [(item_address(index, version), item_record(index, 6)) for index in range(count)]


def historical_workloads(shape: Shape) -> List[Workload]:
    scale = shape.scale
    rows = shape.objects * shape.versions
    workloads = [
        Workload("H1", "query, every version", "historical", False, "read", rows, "records",
                 operation=lambda c: c.query(CLASS_ADDRESS), expected_records=rows),
        Workload("H2", "query, latest versions", "historical", False, "read", shape.objects, "records",
                 operation=lambda c: c.query(CLASS_ADDRESS, conditions=Q(_address__object_version=Versions.LATEST)),
                 expected_records=shape.objects),
    ]
    offset = 1_000 * scale
    workloads.append(Workload(
        "H3", f"nested filter, ordered, 50 at offset {offset}", "historical", False, "other", 50, "records",
        operation=lambda c: c.query(CLASS_ADDRESS, conditions=Q(doc__city="Berlin"), order_by=[OrderBy("rank")],
                                    pagination=NumberPaginator(limit=50, offset=offset)),
        expected_records=50))

    counted = [item_id(index * 7 % shape.objects) for index in range(500 * scale)]

    def count_each(connection: Any) -> int:
        return sum(connection.count(CLASS_ADDRESS, conditions=Q(_address__object_id=oid)) for oid in counted)
    workloads.append(Workload("H4", "count by object id", "historical", False, "roundtrip", len(counted), "counts",
                              operation=count_each))

    bulk = _new_versions(10_000 * scale, "b5")
    workloads.append(Workload("H5", "bulk_put, rolled back", "historical", False, "bulk", len(bulk), "rows",
                              prepare=_begin, operation=lambda c: c.bulk_put(bulk), finish=rollback, writes=True))

    singles = _new_versions(2_000 * scale, "h6")

    def put_each(connection: Any) -> None:
        for address, record in singles:
            connection.begin()
            connection.put(address, record)
            connection.commit()

    def remove_singles(connection: Any) -> None:
        table = connection.table_schema_manager.resolve_table_name(singles[0][0])
        connection.execute(f'DELETE FROM "{table}" WHERE range_key = %s', "h6")
    workloads.append(Workload("H6", "begin, put, commit", "historical", True, "roundtrip", len(singles),
                              "transactions", operation=put_each, finish=remove_singles, writes=True))

    level = _new_versions(1_000 * scale, "h7")

    def fill_level(connection: Any) -> None:
        connection.begin()
        connection.bulk_put(level)
    workloads.append(Workload("H7", "revert of a level", "historical", True, "other", len(level), "entries",
                              prepare=fill_level, operation=lambda c: c.revert(), finish=raw_rollback, writes=True))

    # One object at a time, by the filter a single-record lookup uses; a read returns every version.
    read = [item_id(index * 7 % shape.objects) for index in range(500 * scale)]

    def query_each(connection: Any) -> list:
        records = []
        for oid in read:
            records.extend(connection.query(CLASS_ADDRESS, conditions=Q(_address__object_id=oid)))
        return records
    workloads.append(Workload("H8", "query by object id", "historical", False, "roundtrip", len(read), "reads",
                              operation=query_each, expected_records=len(read) * shape.versions))
    return workloads
