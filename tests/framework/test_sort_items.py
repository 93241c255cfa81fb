from datetime import datetime, timezone

import pytest

from nelvor_data.connections.utils import sort_items
from nelvor_utils.query.data_models.order_by import OrderBy

RECORDS = [
    {"id": "a", "age": 30, "data": {"city": "Oslo"}},
    {"id": "b", "age": None, "data": {"city": "Bergen"}},
    {"id": "c", "age": 25, "data": {}},
    {"id": "d", "age": 30, "data": {"city": "Alta"}},
]


@pytest.mark.parametrize("order_by, expected", [
    (None, "abcd"),
    ([], "abcd"),
    ([OrderBy("age")], "cadb"),                        # None last ascending, ties keep order
    ([OrderBy("age", desc=True)], "badc"),             # None first descending
    ([OrderBy("data__city")], "dbac"),                 # missing nested value counts as None
    ([OrderBy("age", desc=True), OrderBy("data__city")], "bdac"),
    ([OrderBy("missing")], "abcd"),
])
def test_order(order_by, expected):
    records = list(RECORDS)
    assert "".join(r["id"] for r in sort_items(records, order_by)) == expected
    assert records == RECORDS


def test_mixed_kinds_do_not_break_the_sort():
    values = [3, "x", None, {"k": 1}, [1], 1.5, True, datetime(2020, 1, 1), datetime(2020, 1, 1, tzinfo=timezone.utc)]
    ordered = sort_items([{"v": v} for v in values], [OrderBy("v")])
    assert [r["v"] for r in ordered][:4] == [True, 1.5, 3, "x"]
    assert ordered[-1]["v"] is None
