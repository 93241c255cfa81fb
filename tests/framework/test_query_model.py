import json

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.enums import Lookup
from nelvor_utils.query.utils import Q, split_lookup


@pytest.mark.parametrize("key, path, lookup", [
    ("name", ["name"], Lookup.EQ),
    ("age__gt", ["age"], Lookup.GT),
    ("data__address__city__icontains", ["data", "address", "city"], Lookup.ICONTAINS),
    ("_address__object_id", ["_address", "object_id"], Lookup.EQ),
    ("_metadata__address__class_version", ["_metadata", "address", "class_version"], Lookup.EQ),
    ("in", ["in"], Lookup.EQ),  # a field may be named like a lookup
    ("tags__in", ["tags"], Lookup.IN),
])
def test_split_lookup(key, path, lookup):
    assert split_lookup(key) == (path, lookup)


@pytest.mark.parametrize("value", [[1, "a"], (1, "a")])
def test_in_accepts_python_collections_as_json_text(value):
    assert Q(age__in=value).children == [("age__in", json.dumps([1, "a"]))]
    assert Q(age__in='[1, "a"]').children == [("age__in", '[1, "a"]')]


def test_combinations_keep_operands_unchanged():
    left, right = Q(a=1), Q(b=2)
    both = left & right
    assert both.connector == Q.AND and both.children == [Q(a=1), Q(b=2)]
    assert (left | right).connector == Q.OR
    assert (~left).negated and not left.negated
    assert not Q() and (Q() & left) == left and (left | Q()) == left


@pytest.mark.parametrize("key", ["a____gt", "__a", "a__"])
def test_malformed_keywords_are_rejected(key):
    with pytest.raises(ValueError):
        Q(**{key: 1})


def test_address_copy_is_independent_and_printable():
    address = Address(class_name="Person", class_version="1", object_id="id1")
    copy = address.model_copy()
    copy.class_version = "2"
    assert address.class_version == "1" and copy != address
    assert copy == Address(class_name="Person", class_version="2", object_id="id1")
    text = str(address)
    assert repr(address) == text
    for name in ("class_name", "class_version", "object_id", "object_version"):
        assert name in text
    assert Address(class_name="P").object_version == Versions.LATEST == "latest"


def test_error_carries_message():
    error = NelvorConnectionError("Connection not established")
    assert str(error) == error.message == "Connection not established"
