"""Prepared statements behind PgBouncer in transaction pooling mode, where a client
keeps its server connection only for the length of a transaction."""
import threading

import pytest

pgbouncer_pool = pytest.importorskip("pgbouncer_pool").pgbouncer_pool

CLIENTS = 4


@pytest.fixture(scope="module")
def pooler_factory(pg_env):
    """pooler_factory(pool_size) -> a running pooler in front of the test server."""
    running = {}
    stack = []

    def make(pool_size):
        if pool_size not in running:
            context = pgbouncer_pool(pg_env["POSTGRES_HOST"], pg_env.get("POSTGRES_PORT", "5432"),
                                     user=pg_env.get("POSTGRES_USER") or "postgres", pool_size=pool_size)
            running[pool_size] = context.__enter__()
            stack.append(context)
        return running[pool_size]
    yield make
    for context in reversed(stack):
        context.__exit__(None, None, None)


@pytest.fixture
def pooled(pooler_factory, connect_with):
    """pooled(pool_size, threshold) -> a driver connection through that pooler."""
    def make(pool_size, threshold):
        pooler = pooler_factory(pool_size)
        return connect_with(threshold, host=pooler.host, port=str(pooler.port))
    return make


def one(connection, sql, params=()):
    cur = connection.cursor()
    cur.execute(sql, params)
    return cur.fetchone() if cur.description is not None else None


def work_in_threads(work):
    errors = []

    def guarded(number):
        try:
            work(number)
        except BaseException as error:  # noqa: BLE001 - reported in the main thread
            errors.append(error)
    threads = [threading.Thread(target=guarded, args=(n,)) for n in range(CLIENTS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not errors, errors


def test_without_preparing_every_client_runs_in_and_out_of_transactions(pooled):
    clients = [pooled(2, None) for _ in range(CLIENTS)]

    def work(number):
        connection = clients[number]
        for round_ in range(30):
            assert one(connection, "SELECT %s * 10 + %s", (number, round_ % 3)) == (number * 10 + round_ % 3,)
            one(connection, "BEGIN")
            assert one(connection, "SELECT %s || %s", ("client", number)) == (f"client{number}",)
            one(connection, "COMMIT")
    work_in_threads(work)


def test_prepared_statements_of_many_clients_on_one_server_connection(pooled):
    """Every client's statements share the pool's one server connection: their
    prepared statements sit side by side without mixing."""
    clients = [pooled(1, 0) for _ in range(CLIENTS)]

    def work(number):
        connection = clients[number]
        for round_ in range(30):
            one(connection, "BEGIN")
            assert one(connection, f"SELECT %s + {number}", (round_,)) == (round_ + number,)
            one(connection, "COMMIT")
    work_in_threads(work)


def test_prepared_statements_across_server_connections_fail_cleanly_never_wrongly(driver, pooled):
    """With several server connections a statement may be prepared on one and run on
    another (which is why such deployments switch preparing off): that must fail as
    an unknown statement, never run another client's statement of the same name."""
    clients = [pooled(2, 0) for _ in range(CLIENTS)]

    def work(number):
        connection = clients[number]
        for round_ in range(30):
            try:
                result = one(connection, f"SELECT %s * {number + 1}", (round_,))
            except driver.OperationalError as error:
                assert "does not exist" in str(error)
            else:
                assert result == (round_ * (number + 1),)
    work_in_threads(work)
