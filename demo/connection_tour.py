"""Both classes connect from the environment and run a transaction with a nested savepoint."""
import os

from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection

TITLE = "Connections and transactions"
SETTINGS = {PostgresImmutableConnection: "POSTGRES_", PostgresStateConnection: "POSTGRES_STATE_"}


def run(show) -> None:
    for cls, prefix in SETTINGS.items():
        connection = cls()
        connection.connect()
        server, = connection.execute("SELECT current_setting('server_version')").fetchone()
        given = [name for name in (f"{prefix}{field}" for field in ("HOST", "PORT", "USER", "PASSWORD", "DATABASE"))
                 if os.environ.get(name)]
        show(f"{cls.__name__} connected (PostgreSQL {server}), settings from {', '.join(given) or 'libpq defaults'}")
        connection.disconnect()

    connection = PostgresStateConnection()
    connection.connect()
    connection.execute("DROP TABLE IF EXISTS demo_ledger_lines")
    connection.execute("CREATE TABLE demo_ledger_lines (line text)")
    connection.begin()
    connection.execute("INSERT INTO demo_ledger_lines VALUES (%s)", "outer level: kept")
    connection.begin()
    show("BEGIN, then a SAVEPOINT for the nested level")
    connection.execute("INSERT INTO demo_ledger_lines VALUES (%s)", "inner level: rolled back")
    connection.rollback()
    show("ROLLBACK TO SAVEPOINT undid the inner level only")
    connection.begin()
    connection.execute("INSERT INTO demo_ledger_lines VALUES (%s)", "second inner level: committed with the outer one")
    connection.commit()
    connection.commit()
    for (line,) in connection.execute("SELECT line FROM demo_ledger_lines ORDER BY line").fetchall():
        show(f"  row: {line}")
    connection.execute("DROP TABLE demo_ledger_lines")
    connection.disconnect()
