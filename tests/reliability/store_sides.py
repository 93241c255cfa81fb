"""One table of each connection class behind the same small interface, so that a
test can write a record and read it back through put/query or insert/query."""
from __future__ import annotations

from nelvor_utils.models.data_models.address import Address
from nelvor_utils.query.utils import Q

from reliability_support import store_class

# Column name -> type; every kind of value the tests write has a column.
FIELDS = {"t": "text", "i": "bigint", "f": "double precision", "b": "boolean", "j": "json", "n": "integer"}
KEY_COLUMNS = {"partition_key", "range_key", "_metadata"}


def metadata_record(class_name: str, object_id: str, object_version: str) -> dict:
    return {"address": {"class_name": class_name, "class_version": "1", "object_id": object_id,
                        "object_version": object_version},
            "prior_version": None, "is_deleted": False}


class StoreSide:
    """A connected instance and its table `class_name` (version 1) with FIELDS."""

    kind = ""

    def __init__(self, class_name: str, fields: dict[str, str] = FIELDS, **options) -> None:
        self.class_name = class_name
        self.connection = store_class(self.kind)(**options)
        self.connection.connect()
        self.connection.prepare_connection()
        service = self.connection.table_schema_manager
        self.table = service.resolve_table_name(Address(class_name=class_name, class_version="1"))
        self.connection.execute(f'DROP TABLE IF EXISTS "{self.table}"')
        service.create_table(class_name, "1", fields)

    def address(self, object_id: str) -> Address:
        return Address(class_name=self.class_name, class_version="1", object_id=object_id)

    def read(self, object_id: str, **select) -> list[dict]:
        """The records of the object, without the key and metadata columns."""
        conditions = Q(_address__object_id=object_id)
        records = self.connection.query(self.address(object_id), conditions=conditions, **select)
        return [{k: v for k, v in record.items() if k not in KEY_COLUMNS} for record in records]

    def query(self, **select) -> list[dict]:
        return self.connection.query(Address(class_name=self.class_name, class_version="1"), **select)

    def close(self) -> None:
        if self.connection._connection is not None:
            self.connection.disconnect()


class HistoricalSide(StoreSide):
    kind = "historical"

    def write(self, object_id: str, record: dict, object_version: str = "1") -> None:
        """The object version and its metadata row, as the framework writes them."""
        self.connection.put(self.address(object_id).model_copy(update={"object_version": object_version}), record)
        self.connection.put(Address(class_name="metadata", object_id=object_id, object_version=object_version),
                            metadata_record(self.class_name, object_id, object_version))


class StateSide(StoreSide):
    kind = "state"

    def write(self, object_id: str, record: dict) -> None:
        self.connection.insert(self.address(object_id), record)


SIDES = {"historical": HistoricalSide, "state": StateSide}
