"""The benchmark's classes and the deterministic contents of their objects."""
from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Dict, Iterator, List, Optional, Tuple

from nelvor_utils.models.data_models.address import Address

HISTORICAL_CLASS = "BenchItem"
STATE_CLASS = "BenchState"
CLASS_VERSION = "1"
HISTORICAL_FIELDS = {"title": "text", "rank": "integer", "doc": "json"}
STATE_FIELDS = {"title": "text", "rank": "integer", "ratio": "real", "active": "boolean", "doc": "json"}
CITIES = ("Berlin", "Lisbon", "Oslo", "Quito", "Lima", "Perth", "Accra", "Kyoto")
VERSIONS_PER_OBJECT = 5
HISTORICAL_OBJECTS = 20_000
STATE_ROWS = 100_000

Pair = Tuple[Address, Dict[str, Any]]


@dataclass(frozen=True)
class Shape:
    """Sizes of the dataset at one scale."""

    scale: int

    @property
    def objects(self) -> int:
        return HISTORICAL_OBJECTS * self.scale

    @property
    def versions(self) -> int:
        return VERSIONS_PER_OBJECT

    @property
    def state_rows(self) -> int:
        return STATE_ROWS * self.scale

    def fingerprint(self) -> str:
        return f"objects={self.objects} versions={self.versions} state={self.state_rows} layout=1"


def item_id(index: int) -> str:
    return f"item-{index:07d}"


def state_id(index: int) -> str:
    return f"state-{index:07d}"


def version_name(number: int) -> str:
    return str(number)


def item_address(index: int, version: str) -> Address:
    return Address(class_name=HISTORICAL_CLASS, class_version=CLASS_VERSION, object_id=item_id(index),
                   object_version=version)


def state_address(object_id: str) -> Address:
    return Address(class_name=STATE_CLASS, class_version=CLASS_VERSION, object_id=object_id)


def document(index: int, salt: int) -> Dict[str, Any]:
    return {"city": CITIES[index % len(CITIES)], "score": (index * 7 + salt * 13) % 1000,
            "tags": [f"t{index % 5}", f"s{salt}"],
            "owner": {"name": f"owner {index % 100}", "level": salt}}


def item_record(index: int, version: int) -> Dict[str, Any]:
    return {"title": f"item {index} version {version}", "rank": (index * 31 + version) % 10_000,
            "doc": document(index, version)}


def metadata_pair(index: int, version: int) -> Pair:
    object_version = version_name(version)
    address = Address(class_name="metadata", object_id=item_id(index), object_version=object_version)
    prior: Optional[str] = version_name(version - 1) if version > 1 else None
    stamp = f"2024-01-{1 + version:02d} 12:00:00"
    return address, {
        "address": {"class_name": HISTORICAL_CLASS, "class_version": CLASS_VERSION,
                    "object_id": item_id(index), "object_version": object_version},
        "prior_version": prior,
        "class_schema_reference": {"name": HISTORICAL_CLASS, "version": CLASS_VERSION},
        "class_meta_schema_reference": {"name": "meta", "version": "1"},
        "class_schema_type": "object",
        "is_deleted": False,
        "created_at": stamp,
        "updated_at": stamp,
        "transaction": {"id": f"tx-{index}-{version}"},
    }


def item_pairs(first: int, end: int, versions: int) -> Iterator[Pair]:
    for index in range(first, end):
        for version in range(1, versions + 1):
            yield item_address(index, version_name(version)), item_record(index, version)


def metadata_pairs(first: int, end: int, versions: int) -> Iterator[Pair]:
    for index in range(first, end):
        for version in range(1, versions + 1):
            yield metadata_pair(index, version)


def state_record(index: int, salt: int = 0) -> Dict[str, Any]:
    return {"title": f"state {index}/{salt}", "rank": (index * 17 + salt) % 10_000,
            "ratio": ((index + salt) % 1000) / 8.0, "active": (index + salt) % 3 != 0,
            "doc": document(index, salt)}


def state_pairs(first: int, end: int, salt: int = 0, prefix: str = "") -> List[Pair]:
    return [(state_address(prefix + state_id(index)), state_record(index, salt)) for index in range(first, end)]
