"""Both classes connect from the environment and run a transaction with a nested savepoint."""
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection

TITLE = "Connections and transactions"


def run(show) -> None:
    for cls in (PostgresImmutableConnection, PostgresStateConnection):
        connection = cls()
        connection.connect()
        server, = connection.execute("SELECT current_setting('server_version')").fetchone()
        show(f"{cls.__name__} connected (PostgreSQL {server}), settings from {connection._default_envs()}")
        connection.disconnect()

    connection = PostgresStateConnection()
    connection.connect()
    connection.execute("DROP TABLE IF EXISTS demo_ledger_lines")
    connection.execute("CREATE TABLE demo_ledger_lines (line text)")
    connection.begin()
    connection.execute("INSERT INTO demo_ledger_lines VALUES (%s)", "outer level: kept")
    connection.begin()
    show(f"BEGIN, then SAVEPOINT {connection._savepoints[-1]} for the nested level")
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
