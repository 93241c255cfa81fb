"""Both classes behind PgBouncer in transaction pooling mode: a client keeps its
server connection only for the length of a transaction, so BEGIN, the savepoints
and the compensating statements of revert must all stay inside one."""
import threading

import pytest

from nelvor_utils.models.data_models.address import Address
from pgbouncer_pool import pgbouncer_pool
from reliability_support import store_class

POOL_SIZE = 2


@pytest.fixture(scope="module")
def pooler(pg_env):
    with pgbouncer_pool(pg_env["POSTGRES_HOST"], pg_env.get("POSTGRES_PORT", "5432"),
                        user=pg_env.get("POSTGRES_USER") or "postgres", pool_size=POOL_SIZE) as running:
        yield running


@pytest.fixture
def pooled(pooler, open_connection):
    """pooled(cls) -> an instance connected through the pooler."""
    return lambda connection_class: open_connection(connection_class, host=pooler.host, port=str(pooler.port))


@pytest.fixture
def lines(admin_sql):
    admin_sql("CREATE TABLE IF NOT EXISTS pooled_lines (client int, line text)")
    admin_sql("TRUNCATE pooled_lines")
    return lambda: sorted((int(c), l) for c, l in admin_sql("SELECT client, line FROM pooled_lines"))


def add_line(connection, client: int, line: str) -> None:
    connection.execute("INSERT INTO pooled_lines VALUES (%s, %s)", client, line)


def test_connection_goes_through_the_pooler(cls, pooled, pooler, database):
    connection = pooled(cls)
    assert connection.execute("SELECT current_database()").fetchone() == (database,)
    assert [client["database"] for client in pooler.show("CLIENTS")].count(database) == 1


def test_nested_levels_commit_and_roll_back(cls, pooled, lines):
    connection = pooled(cls)
    connection.begin()
    add_line(connection, 0, "outer")
    connection.begin()
    add_line(connection, 0, "inner rolled back")
    connection.rollback()
    connection.begin()
    add_line(connection, 0, "inner committed")
    connection.commit()
    assert lines() == []  # nothing visible before the outer COMMIT
    connection.commit()
    connection.begin()
    add_line(connection, 0, "rolled back")
    connection.rollback()
    assert lines() == [(0, "inner committed"), (0, "outer")]


def kept(round_: int) -> bool:
    return round_ % 3 != 2


def test_interleaved_clients_share_few_server_connections(pooled, lines):
    """Twice as many clients as server connections, each alternating committed and
    rolled-back transactions with a savepoint: a transaction sees its client's
    committed rows and its own uncommitted ones, never another client's."""
    clients = [pooled(store_class("historical" if n % 2 else "state")) for n in range(2 * POOL_SIZE)]
    rounds = 15
    errors = []

    def work(number: int, connection) -> None:
        try:
            for round_ in range(rounds):
                connection.begin()
                add_line(connection, number, f"{round_:02d} kept")
                connection.begin()
                add_line(connection, number, f"{round_:02d} dropped")
                seen = connection.execute("SELECT count(*) FROM pooled_lines WHERE client = %s", number).fetchone()[0]
                assert seen == sum(map(kept, range(round_))) + 2, f"client {number} round {round_} saw {seen}"
                dropped = connection.execute("SELECT count(*) FROM pooled_lines WHERE line LIKE %s",
                                             "%dropped").fetchone()[0]
                assert dropped == 1, f"client {number} saw {dropped} uncommitted rows"
                connection.rollback()
                if kept(round_):
                    connection.commit()
                else:
                    connection.rollback()
        except BaseException as error:  # noqa: BLE001 - reported in the main thread
            errors.append(error)
            connection.disconnect()  # an open transaction would hold a server connection for good

    threads = [threading.Thread(target=work, args=(n, c)) for n, c in enumerate(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not errors, errors
    expected = sorted((n, f"{r:02d} kept") for n in range(len(clients)) for r in range(rounds) if kept(r))
    assert lines() == expected


@pytest.fixture
def revert_tables(pooled):
    """(historical, state) connections through the pooler with one table each."""
    historical = pooled(store_class("historical"))
    historical.prepare_connection()
    historical.table_schema_manager.create_table("PooledNote", "1", {"text": "text"})
    state = pooled(store_class("state"))
    state.table_schema_manager.create_table("PooledCounter", "1", {"n": "integer"})
    return historical, state


def test_revert_of_historical_writes(revert_tables, admin_sql):
    historical, _ = revert_tables
    note = Address(class_name="PooledNote", class_version="1", object_id="n1")
    historical.begin()
    historical.put(note.model_copy(update={"object_version": "v1"}), {"text": "first"})
    historical.begin()
    historical.put(note.model_copy(update={"object_version": "v2"}), {"text": "second"})
    historical.revert()
    historical.commit()
    assert admin_sql('SELECT range_key, "text" FROM "poolednote_v_1" ORDER BY 1') == [("v1", "first")]


def test_revert_of_state_writes(revert_tables, admin_sql):
    _, state = revert_tables
    counter = Address(class_name="PooledCounter", class_version="1", object_id="c1")
    state.begin()
    state.insert(counter, {"n": 1})
    state.begin()
    state.update(counter, {"n": 2})
    state.insert(counter.model_copy(update={"object_id": "c2"}), {"n": 5})
    state.revert()
    state.commit()
    assert admin_sql('SELECT partition_key, n FROM "pooledcounter_v_1" ORDER BY 1') == [("c1", "1")]
