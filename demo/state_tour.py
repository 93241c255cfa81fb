"""The state store: records inserted, updated in bulk, queried, and a transaction
undone by compensating writes."""
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


def run(show) -> None:
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

    statement, _ = connection._build_bulk_update_statement([(city("brg"), {"population": 291000})])
    show(f"bulk update statement: {statement}")
    show("(a bulk update is not recorded for revert; the store logs a warning saying so)")
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
    oslo = connection._get_record(city("osl"))
    show(f"inside a nested transaction level: {len(connection._revert_data[-1])} writes recorded for revert, "
         f"{connection.count(city(None))} cities, Oslo's population {oslo['population']}")
    connection.revert()
    connection.commit()
    show_rows(show, connection, "after revert of the inner level (compensating writes, newest first) and commit:")

    connection.execute(f'DROP TABLE "{table}"')
    connection.disconnect()
