"""Names that need quoting reach SQL escaped: table, columns, selected and ordered
fields, JSON key-path segments, and fields named like metadata columns."""
import pytest

from history_data import metadata_address, metadata_record
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q

CLASS = 'Odd"Class%'
FIELDS = {'we"ird': "text", "pct%": "text", "created_at": "text", "address": "text", "data": "json"}
RECORDS = {
    "o1": {'we"ird': 'a"b', "pct%": "100%", "created_at": "z", "address": "Main St", "data": {"it's": 1}},
    "o2": {'we"ird': "c'd", "pct%": "5%", "created_at": "a", "address": "Side St", "data": {"it's": 2}},
}


def odd(object_id, object_version="1"):
    return Address(class_name=CLASS, class_version="1", object_id=object_id, object_version=object_version)


@pytest.fixture(scope="module")
def odd_history(ledger):
    table = ledger.table_schema_manager.create_table(CLASS, "1", FIELDS)
    assert table == 'odd"class%_v_1'
    for object_id, record in RECORDS.items():
        ledger.put(odd(object_id), record)
        record_of_metadata = metadata_record("1", object_id, "1", None)
        record_of_metadata["address"]["class_name"] = CLASS
        ledger.put(metadata_address(object_id, "1"), record_of_metadata)
    return ledger


@pytest.mark.parametrize("conditions, expected", [
    (Q(**{'we"ird': 'a"b'}), ["o1"]),
    (Q(**{"pct%__endswith": "0%"}), ["o1"]),
    (Q(**{"data__it's": 2}), ["o2"]),
    (Q(address__startswith="Side"), ["o2"]),
    (Q(created_at="z") & Q(_address__object_version=Versions.LATEST), ["o1"]),
])
def test_filters_on_names_that_need_quoting(odd_history, conditions, expected):
    records = odd_history.query(Address(class_name=CLASS), conditions=conditions)
    assert [record["partition_key"] for record in records] == expected


@pytest.mark.parametrize("order_by, expected", [
    # created_at and address are also metadata columns: the grouping must name the object's.
    ([OrderBy("created_at")], ["o2", "o1"]),
    ([OrderBy("address", desc=True)], ["o2", "o1"]),
    ([OrderBy('we"ird', desc=True)], ["o2", "o1"]),
    ([OrderBy("data__it's", desc=True)], ["o2", "o1"]),
])
def test_ordering_on_names_that_need_quoting(odd_history, order_by, expected):
    records = odd_history.query(Address(class_name=CLASS), order_by=order_by)
    assert [record["partition_key"] for record in records] == expected


def test_only_and_distinct_on_names_that_need_quoting(odd_history):
    records = odd_history.query(Address(class_name=CLASS), QuerySpecifier(only=['we"ird', "pct%"], distinct=["pct%"]))
    assert [(r['we"ird'], r["pct%"]) for r in records] == [("a\"b", "100%"), ("c'd", "5%")]
    assert odd_history.count(Address(class_name=CLASS), Q(**{"pct%__contains": "%"})) == 2


def test_delete_from_a_table_whose_name_needs_quoting(odd_history):
    odd_history.put(odd("o3"), {'we"ird': "gone"})
    odd_history._delete(odd("o3"))
    rows = odd_history.execute('SELECT partition_key FROM "odd""class%%_v_1" ORDER BY 1').fetchall()
    assert [row[0] for row in rows] == ["o1", "o2"]
