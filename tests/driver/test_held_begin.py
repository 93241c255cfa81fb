"""A BEGIN on an idle session is held and goes out with the connection's next
statement: the transaction then is exactly what BEGIN sent apart would have made."""
import signal
import threading

import pytest


@pytest.fixture
def session_state(driver, connect_params):
    """session_state(connection) -> its server session's state as another session sees it."""
    watcher = driver.connect(**connect_params, autocommit=True)

    def state(connection):
        cur = watcher.cursor()
        cur.execute("SELECT state FROM pg_stat_activity WHERE pid = %s", (connection.get_backend_pid(),))
        return cur.fetchone()[0]
    yield state
    watcher.close()


def run(connection, sql, params=None):
    cur = connection.cursor()
    cur.execute(sql, params)
    return cur.fetchall() if cur.description is not None else cur


def one(connection, sql, params=None):
    return run(connection, sql, params)[0][0]


@pytest.mark.parametrize("text, params", [
    ("BEGIN", ()), ("BEGIN", None), ("begin", []), ("  Begin ;\n", None), ("BEGIN;", ())])
def test_bare_begin_is_held_and_looks_sent(connect_with, session_state, driver, text, params):
    connection = connect_with()
    cur = connection.cursor()
    cur.execute(text, params)
    assert (cur.description, cur.rowcount, cur.statusmessage, cur.query) == (None, -1, "BEGIN", text.encode())
    with pytest.raises(driver.ProgrammingError, match="no results to fetch"):
        cur.fetchone()
    assert session_state(connection) == "idle"
    connection.close()  # drops it


@pytest.mark.parametrize("text", [
    "START TRANSACTION", "BEGIN ISOLATION LEVEL SERIALIZABLE", "BEGIN; SELECT 1", "BEGIN -- note", "BEGIN;;"])
def test_other_transaction_starts_go_out_at_once(connect_with, session_state, text):
    connection = connect_with()
    run(connection, text)
    assert session_state(connection) == "idle in transaction"


# How the statement after BEGIN runs: (threshold, earlier executions of its text).
WAYS = {"literal": (None, 0), "prepared at once": (0, 0), "prepared before": (0, 1),
        "prepared on the third execution": (2, 2)}


@pytest.mark.parametrize("way", WAYS)
def test_held_begin_opens_the_transaction_with_the_next_statement(connect_with, session_state, way):
    threshold, earlier = WAYS[way]
    connection = connect_with(threshold)
    run(connection, "CREATE TABLE IF NOT EXISTS items (n int PRIMARY KEY, label text)")
    run(connection, "TRUNCATE items")
    insert = "INSERT INTO items (n, label) VALUES (%s, %s)"
    for n in range(earlier):
        run(connection, insert, (100 + n, "earlier"))
    run(connection, "BEGIN", ())
    cur = run(connection, insert, (1, "x"))
    assert (cur.rowcount, cur.statusmessage, cur.query) == (1, "INSERT 0 1", b"INSERT INTO items (n, label) VALUES (1, 'x')")
    assert session_state(connection) == "idle in transaction"
    assert one(connection, "SELECT txid_current()") == one(connection, "SELECT txid_current()")
    if threshold is not None:
        assert one(connection, "SELECT count(*) FROM pg_prepared_statements WHERE statement LIKE 'INSERT%%'") == 1
    run(connection, "ROLLBACK")
    assert one(connection, "SELECT count(*) FROM items WHERE n = 1") == 0


def test_text_of_several_statements_after_begin(connect_with, session_state):
    connection = connect_with()
    run(connection, "BEGIN")
    rows = run(connection, "CREATE TEMP TABLE several (n int); INSERT INTO several VALUES (1), (2); SELECT count(*) FROM several")
    assert rows == [(2,)]
    assert session_state(connection) == "idle in transaction"
    run(connection, "ROLLBACK")
    assert one(connection, "SELECT count(*) FROM pg_class WHERE relname = 'several'") == 0


def test_error_after_begin_points_into_the_statement_itself(driver, connect_with):
    connection = connect_with()
    run(connection, "BEGIN")
    with pytest.raises(driver.ProgrammingError) as raised:
        run(connection, "SELECT nope FROM (SELECT 1 AS n) t")
    assert "LINE 1: SELECT nope FROM" in str(raised.value)
    run(connection, "ROLLBACK")


@pytest.mark.parametrize("end", ["COMMIT", "ROLLBACK"])
def test_begin_and_end_alone(connect_with, session_state, end):
    connection = connect_with()
    run(connection, "BEGIN")
    assert run(connection, end).statusmessage == end
    assert session_state(connection) == "idle"


@pytest.mark.parametrize("threshold", [None, 0])
def test_streamed_query_after_begin(connect_with, session_state, threshold):
    connection = connect_with(threshold)
    run(connection, "BEGIN")
    assert run(connection, "SELECT g FROM generate_series(1, %s) g", (5000,)) == [(g,) for g in range(1, 5001)]
    assert session_state(connection) == "idle in transaction"
    run(connection, "COMMIT")


# A statement failing after BEGIN: (threshold, statement, params, error class).
FAILURES = {
    "literal": (None, "INSERT INTO dupes VALUES (%s)", (1,), "IntegrityError"),
    "prepared": (0, "INSERT INTO dupes VALUES (%s)", (1,), "IntegrityError"),
    "parameter refused by the prepared statement": (0, "SELECT %s::int", ("x",), "DataError"),
    "syntax error": (None, "INSERT INTO dupes VALUS (2)", None, "ProgrammingError"),
    "streamed": (None, "SELECT 1 / (g - 3) FROM generate_series(1, 5) g", None, "DataError"),
}


@pytest.mark.parametrize("case", FAILURES)
def test_failing_statement_after_begin_leaves_the_transaction_aborted(driver, connect_with, session_state, case):
    threshold, sql, params, error = FAILURES[case]
    connection = connect_with(threshold)
    run(connection, "CREATE TEMP TABLE dupes (n int PRIMARY KEY)")
    run(connection, "INSERT INTO dupes VALUES (1)")
    run(connection, "BEGIN")
    with pytest.raises(getattr(driver, error)) as raised:
        run(connection, sql, params)
    assert "BEGIN" not in str(raised.value)
    assert session_state(connection) == "idle in transaction (aborted)"
    with pytest.raises(driver.InternalError, match="current transaction is aborted"):
        run(connection, "SELECT 1")
    assert run(connection, "ROLLBACK").statusmessage == "ROLLBACK"
    assert one(connection, "SELECT %s", (7,)) == 7


def test_begin_inside_a_transaction_goes_out_at_once(driver, connect_with, session_state):
    connection = connect_with()
    run(connection, "BEGIN")
    run(connection, "BEGIN")  # travels with the held one: the server warns
    assert session_state(connection) == "idle in transaction"
    txid = one(connection, "SELECT txid_current()")
    assert run(connection, "BEGIN").statusmessage == "BEGIN"
    assert one(connection, "SELECT txid_current()") == txid
    with pytest.raises(driver.DataError):
        run(connection, "SELECT 1 / 0")
    with pytest.raises(driver.InternalError, match="current transaction is aborted"):
        run(connection, "BEGIN")
    run(connection, "ROLLBACK")


@pytest.mark.parametrize("invalidation, error", [
    ("ALTER TABLE shapes ADD COLUMN b int", "NotSupportedError"),
    ("DEALLOCATE {name}", "OperationalError")])
def test_invalidated_statement_after_begin_is_not_retried(driver, connect_with, session_state, admin_sql,
                                                          invalidation, error):
    connection = connect_with(0)
    run(connection, "CREATE TABLE IF NOT EXISTS shapes (a int)")
    query = "SELECT * FROM shapes WHERE a = %s"
    assert run(connection, query, (1,)) == []
    if invalidation.startswith("ALTER"):
        admin_sql(invalidation)  # behind the driver's back
    else:
        name = one(connection, "SELECT name FROM pg_prepared_statements WHERE statement LIKE 'SELECT * FROM shapes%%'")
        run(connection, invalidation.format(name=name))
    run(connection, "BEGIN")
    with pytest.raises(getattr(driver, error)):
        run(connection, query, (1,))
    assert session_state(connection) == "idle in transaction (aborted)"
    run(connection, "ROLLBACK")
    assert run(connection, query, (1,)) == []  # prepared again
    admin_sql("DROP TABLE shapes")


def test_stale_statements_are_deallocated_before_the_begin_goes_out(connect_with):
    connection = connect_with(0)
    run(connection, "CREATE TEMP TABLE forms (a int)")
    run(connection, "SELECT * FROM forms WHERE a = %s", (1,))
    run(connection, "ALTER TABLE forms ADD COLUMN b int")  # the statement above turns stale
    run(connection, "BEGIN")
    texts = run(connection, "SELECT statement FROM pg_prepared_statements")
    assert not any("FROM forms" in text for (text,) in texts)
    run(connection, "COMMIT")


@pytest.mark.parametrize("threshold", [None, 0])
def test_broken_connection_fails_the_statement_after_begin(driver, connect_with, threshold):
    connection, killer = connect_with(threshold), connect_with()
    run(connection, "BEGIN")
    run(killer, "SELECT pg_terminate_backend(%s)", (connection.get_backend_pid(),))
    with pytest.raises(driver.OperationalError):
        run(connection, "SELECT %s", (1,))


def _raise_keyboard_interrupt(signum, frame):
    raise KeyboardInterrupt


@pytest.mark.parametrize("interruption", ["cancel", "signal"])
def test_interrupted_pipeline_leaves_the_connection_usable(driver, connect_with, session_state, interruption):
    connection = connect_with(0)
    connection.stream_rows = False  # the query then runs in the pipeline after BEGIN
    run(connection, "BEGIN")
    if interruption == "cancel":
        timer, expected = threading.Timer(0.3, connection.cancel), driver.QueryCanceledError
        timer.start()
    else:
        previous = signal.signal(signal.SIGALRM, _raise_keyboard_interrupt)
        signal.setitimer(signal.ITIMER_REAL, 0.3)
        expected = KeyboardInterrupt
    try:
        with pytest.raises(expected):
            run(connection, "SELECT pg_sleep(%s)", (30,))
    finally:
        if interruption == "cancel":
            timer.join()
        else:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, previous)
    assert session_state(connection) == "idle in transaction (aborted)"
    run(connection, "ROLLBACK")
    assert one(connection, "SELECT %s", (3,)) == 3
    run(connection, "BEGIN")
    assert one(connection, "SELECT %s", (4,)) == 4
    run(connection, "COMMIT")
