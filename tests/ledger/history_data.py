"""A small history: two class versions of Person, objects written in several versions,
and how the framework writes an object version together with its metadata row."""
from nelvor_utils.models.data_models.address import Address

PERSON_FIELDS = {"name": "text", "team": "text", "data": "json"}
# name is stored under another column in both class versions.
PERSON_COLUMNS = {"name": "full_name"}

# (class version, object id, [(object version, record), ...]), oldest version first.
HISTORY = [
    ("1", "o1", [("1", {"name": "Ann", "team": "red",
                        "data": {"city": "Oslo", "rank": 3, "active": True, "geo": {"zone": {"code": "N"}}}}),
                 ("2", {"name": "Anna", "team": "red",
                        "data": {"city": "Bergen", "rank": 3, "active": True, "geo": {"zone": {"code": "N"}}}})]),
    ("1", "o2", [("1", {"name": "bob", "team": "blue",
                        "data": {"city": "Paris", "rank": 1, "active": False, "geo": {"zone": {"code": "Ö"}}}})]),
    ("2", "o3", [("1", {"name": "Cleo", "team": "red",
                        "data": {"city": "Zürich", "rank": 2, "active": True, "geo": {"zone": {"code": "Ö"}}}})]),
    ("2", "o4", [("1", {"name": "dan", "team": "blue", "data": {"city": "Lyon", "rank": 4}}),
                 ("2", {"name": "Dan", "team": "green", "data": {"city": "Lyon", "rank": 4}}),
                 ("3", {"name": "Dan", "team": "green", "data": {"city": "Rome", "rank": 5}})]),
]


def person(class_version, object_id, object_version="1"):
    return Address(class_name="Person", class_version=class_version, object_id=object_id,
                   object_version=object_version)


def metadata_address(object_id, object_version):
    return Address(class_name="metadata", object_id=object_id, object_version=object_version)


def metadata_record(class_version, object_id, object_version, prior_version, created_at=None):
    return {"address": {"class_name": "Person", "class_version": class_version, "object_id": object_id,
                        "object_version": object_version},
            "prior_version": prior_version, "created_at": created_at, "is_deleted": False}


def write_version(connection, class_version, object_id, object_version, prior_version, record, created_at=None):
    """An object version and its metadata row, as the framework writes them."""
    connection.put(person(class_version, object_id, object_version), record)
    connection.put(metadata_address(object_id, object_version),
                   metadata_record(class_version, object_id, object_version, prior_version, created_at))
