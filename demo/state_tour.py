"""The state store: records inserted, updated and deleted in bulk, queried, and a transaction
undone by compensating writes."""
import contextlib
import logging

from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.data_models.paginator import NumberPaginator
from nelvor_utils.query.data_models.query_specifier import QuerySpecifier
from nelvor_utils.query.utils import Q

TITLE = "State store: one row per object"

CLASS_NAME = "DemoCity"
FIELDS = {"name": "text", "population": "integer", "area": "real", "coastal": "boolean", "info": "json"}


def city(object_id: str) -> Address:
    return Address(class_name=CLASS_NAME, class_version="1", object_id=object_id)


def show_rows(show, connection, heading: str) -> None:
    show(heading)
    for record in connection.query(city(None), order_by=[OrderBy("partition_key")]):
        show(f"  {record['partition_key']}: {record['name']}, population {record['population']}, "
             f"coastal {record['coastal']}, info {record['info']}")


class _ShownLog(logging.Handler):
    """The store's log lines as part of the tour's output, not as stray lines on stderr."""

    def __init__(self, show) -> None:
        super().__init__()
        self.show = show

    def emit(self, record: logging.LogRecord) -> None:
        self.show(f"  (the store logs: {record.getMessage()})")


@contextlib.contextmanager
def _store_log_shown(show):
    logger = logging.getLogger(PostgresStateConnection.__module__)
    handler, propagate = _ShownLog(show), logger.propagate
    logger.addHandler(handler)
    logger.propagate = False
    try:
        yield
    finally:
        logger.removeHandler(handler)
        logger.propagate = propagate


def run(show) -> None:
    with _store_log_shown(show):
        _tour(show)


def _tour(show) -> None:
    connection = PostgresStateConnection()
    connection.connect()
    service = connection.table_schema_manager
    table = service.resolve_table_name(city(None))
    connection.execute(f'DROP TABLE IF EXISTS "{table}"')
    service.create_table(CLASS_NAME, "1", FIELDS)
    show(f"table {table} created with columns {', '.join(FIELDS)}")

    connection.begin()
    connection.insert(city("osl"), {"name": "Oslo", "population": 709000, "area": 454.0, "coastal": True,
                                    "info": {"country": "NO", "rivers": ["Akerselva", "Alna"]}})
    connection.bulk_insert([
        (city("brg"), {"name": "Bergen", "population": 286000, "coastal": True, "info": {"country": "NO"}}),
        (city("zrh"), {"name": "Zurich", "population": 421000, "coastal": False, "info": {"country": "CH"}}),
    ])
    connection.commit()
    show_rows(show, connection, "after one insert and one bulk insert:")

    show("one UPDATE for many rows (a bulk update is not recorded for revert):")
    connection.bulk_update([(city("brg"), {"population": 291000}), (city("zrh"), {"population": 423000})])
    show_rows(show, connection, "after the bulk update:")

    coastal = connection.query(city(None), QuerySpecifier(only=["name"]), Q(coastal=True) & Q(info__country="NO"),
                               NumberPaginator(limit=5), [OrderBy("population", desc=True)])
    show(f"coastal Norwegian cities, largest first: {[record['name'] for record in coastal]}")
    show(f"cities above 400000: {connection.count(city(None), Q(population__gt=400000))}")

    connection.begin()
    connection.begin()
    connection.update(city("osl"), {"population": 1})
    connection.delete(city("zrh"))
    connection.insert(city("cph"), {"name": "Copenhagen", "coastal": True})
    oslo, = connection.query(city(None), conditions=Q(partition_key="osl"))
    show(f"inside a nested transaction level: an update, a delete and an insert; "
         f"{connection.count(city(None))} cities, Oslo's population {oslo['population']}")
    connection.revert()
    connection.commit()
    show_rows(show, connection, "after revert of the inner level (compensating writes, newest first) and commit:")

    connection.begin()
    connection.bulk_insert([(city("trd"), {"name": "Trondheim", "coastal": True}),
                            (city("sta"), {"name": "Stavanger", "coastal": True})])
    connection.commit()
    connection.begin()
    connection.bulk_delete([city("trd"), city("sta")])
    connection.commit()
    show(f"two more inserted with bulk_insert and removed again with one bulk_delete: "
         f"{connection.count(city(None))} cities")

    connection.execute(f'DROP TABLE "{table}"')
    connection.disconnect()
