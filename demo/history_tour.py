"""The historical connection: an object written in several versions (one by one and in bulk),
its full history and its latest version, a filter on a nested JSON field, and a transaction
level reverted."""
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.models.enums import Versions
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.utils import Q

TITLE = "Historical store: versions, latest versions, nested filters, revert"
CLASS = "TourNote"
LATEST = Q(_address__object_version=Versions.LATEST)
BY_VERSION = [OrderBy("partition_key"), OrderBy("range_key")]


def _rows(object_id, version, prior, record):
    """An object version and the metadata row that chains it to the one before, as the
    framework writes them: (address, record) pairs."""
    return [(Address(class_name=CLASS, class_version="1", object_id=object_id, object_version=version), record),
            (Address(class_name="metadata", object_id=object_id, object_version=version),
             {"address": {"class_name": CLASS, "class_version": "1", "object_id": object_id,
                          "object_version": version},
              "prior_version": prior, "is_deleted": False})]


def _write(connection, object_id, version, prior, record):
    for address, data in _rows(object_id, version, prior, record):
        connection.put(address, data)


def _write_in_bulk(connection, versions):
    """Many versions in two statements: one bulk_put per table."""
    pairs = [pair for version in versions for pair in _rows(*version)]
    connection.bulk_put([pair for pair in pairs if pair[0].class_name == CLASS])
    connection.bulk_put([pair for pair in pairs if pair[0].class_name == "metadata"])


def _show_records(show, records):
    for record in records:
        show(f"  {record['partition_key']} v{record['range_key']}: {record['title']!r} {record['body']} "
             f"(next version: {record['_metadata']['next_version']})")


def _clear(connection):
    connection.execute("DELETE FROM metadata WHERE address->>'class_name' = %s", CLASS)
    connection.execute('DROP TABLE IF EXISTS "tournote_v_1"')


def run(show) -> None:
    connection = PostgresImmutableConnection()
    connection.connect()
    connection.prepare_connection()
    _clear(connection)
    connection.table_schema_manager.create_table(CLASS, "1", {"title": "text", "body": "json"})
    notes = Address(class_name=CLASS)

    connection.begin()
    _write(connection, "n1", "1", None, {"title": "Draft", "body": {"place": {"city": "Oslo"}, "words": 10}})
    _write(connection, "n1", "2", "1", {"title": "Second draft", "body": {"place": {"city": "Oslo"}, "words": 40}})
    connection.commit()
    connection.begin()
    _write_in_bulk(connection, [
        ("n1", "3", "2", {"title": "Final", "body": {"place": {"city": "Bergen"}, "words": 55}}),
        ("n2", "1", None, {"title": "Other note", "body": {"place": {"city": "Oslo"}, "words": 5}})])
    connection.commit()
    show("n1 written in two versions with put, then a third and n2 with bulk_put")

    show("Every version of every note:")
    _show_records(show, connection.query(notes, order_by=BY_VERSION))
    show("Latest versions only:")
    _show_records(show, connection.query(notes, conditions=LATEST, order_by=BY_VERSION))
    show("Latest versions whose body.place.city is Oslo:")
    _show_records(show, connection.query(notes, conditions=LATEST & Q(body__place__city="Oslo")))
    show(f"{connection.count(notes)} rows in all, {connection.count(notes, LATEST)} latest")

    connection.begin()
    connection.begin()
    _write(connection, "n1", "4", "3", {"title": "Oops", "body": {"place": {"city": "Nowhere"}, "words": 0}})
    show("Inside a nested level, n1 gets a fourth version:")
    _show_records(show, connection.query(notes, conditions=LATEST & Q(_address__object_id="n1")))
    connection.revert()
    connection.commit()
    show("After revert the level's rows (version and metadata) are deleted again:")
    _show_records(show, connection.query(notes, conditions=LATEST & Q(_address__object_id="n1")))

    _clear(connection)
    connection.disconnect()
