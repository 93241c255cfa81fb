"""Connecting, connection properties, error classes, cancellation and the GIL."""
import signal
import threading
import time

import pytest


def test_keywords_win_over_the_dsn(driver, connect_params):
    params = dict(connect_params)
    dsn = f"host={params.pop('host')} port={params.pop('port')} dbname=no_such_database"
    conn = driver.connect(dsn, **params)
    cur = conn.cursor()
    cur.execute("SELECT current_database()")
    assert cur.fetchone() == (connect_params["database"],)
    conn.close()


def test_uri_dsn(driver, connect_params):
    p = connect_params
    conn = driver.connect(f"postgresql://{p['user']}@{p['host']}:{p['port']}/{p['database']}",
                          password=p.get("password"))
    assert not conn.closed
    conn.close()


@pytest.mark.parametrize("override", [{"port": "1"}, {"database": "no_such_database"}, {"sslmode": "bogus"}])
def test_failed_connect_is_operational_error(driver, connect_params, override):
    with pytest.raises(driver.OperationalError) as raised:
        driver.connect(**{**connect_params, **override})
    assert str(raised.value)


def test_connection_properties(conn, cur):
    cur.execute("SELECT pg_backend_pid(), current_setting('server_version_num')::int")
    pid, version = cur.fetchone()
    assert conn.get_backend_pid() == pid and conn.server_version == version
    assert conn.encoding == "UTF8" and conn.fileno() >= 0 and conn.isolation_level is None


def test_not_constructible_from_python(driver):
    with pytest.raises(TypeError):
        driver.Connection()


def test_close_makes_everything_refuse(driver, conn):
    cur = conn.cursor()
    conn.close()
    conn.close()
    assert conn.closed
    with pytest.raises(driver.InterfaceError):
        conn.cursor()
    with pytest.raises(driver.InterfaceError):
        cur.execute("SELECT 1")


def test_statements_outside_begin_are_committed(driver, connect_params, cur):
    cur.execute("CREATE TABLE kept (a int)")
    cur.execute("INSERT INTO kept VALUES (1)")
    other = driver.connect(**connect_params, autocommit=True)
    check = other.cursor()
    check.execute("SELECT a FROM kept")
    assert check.fetchall() == [(1,)]
    other.close()


@pytest.mark.parametrize("level, shown", [("SERIALIZABLE", "serializable"), (2, "repeatable read"),
                                          (None, "read committed")])
def test_isolation_level(conn, cur, level, shown):
    conn.isolation_level = "serializable"
    conn.isolation_level = level
    assert conn.isolation_level == level
    cur.execute("BEGIN")
    cur.execute("SHOW transaction_isolation")
    assert cur.fetchone() == (shown,)
    cur.execute("ROLLBACK")


ERROR_NAMES = ("Warning", "Error", "InterfaceError", "DatabaseError", "DataError", "OperationalError",
               "IntegrityError", "InternalError", "ProgrammingError", "NotSupportedError", "QueryCanceledError")


def test_one_error_hierarchy_for_both_modules(driver, cur):
    from nelvor_data.connections.implementations import current_store
    assert issubclass(driver.QueryCanceledError, driver.OperationalError)
    for name in ("DataError", "OperationalError", "IntegrityError", "InternalError", "ProgrammingError",
                 "NotSupportedError"):
        assert issubclass(getattr(driver, name), driver.DatabaseError)
    assert issubclass(driver.DatabaseError, driver.Error) and issubclass(driver.InterfaceError, driver.Error)
    assert not issubclass(driver.Warning, driver.Error)
    for name in ERROR_NAMES:
        assert getattr(current_store, name) is getattr(driver, name)
    # An error raised by one module is caught by the other's class.
    with pytest.raises(current_store.ProgrammingError) as raised:
        cur.execute("SELECT * FROM no_such_table")
    assert raised.value.sqlstate == raised.value.pgcode == "42P01"
    assert "no_such_table" in raised.value.pgerror


def test_lost_connection_is_operational_error(driver, connect_params, conn, cur):
    killer = driver.connect(**connect_params, autocommit=True)
    killer.cursor().execute("SELECT pg_terminate_backend(%s)", (conn.get_backend_pid(),))
    killer.close()
    with pytest.raises(driver.OperationalError):
        cur.execute("SELECT 1")


def _raise_keyboard_interrupt(signum, frame):
    raise KeyboardInterrupt


def test_signal_interrupts_a_long_statement(cur):
    previous = signal.signal(signal.SIGALRM, _raise_keyboard_interrupt)
    cur.execute("BEGIN")
    started = time.monotonic()
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.3)
        with pytest.raises(KeyboardInterrupt):
            cur.execute("SELECT pg_sleep(30)")
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert time.monotonic() - started < 5
    cur.execute("ROLLBACK")
    cur.execute("SELECT 42")
    assert cur.fetchone() == (42,)


def test_cancel_from_another_thread(driver, conn, cur):
    timer = threading.Timer(0.3, conn.cancel)
    timer.start()
    with pytest.raises(driver.QueryCanceledError) as raised:
        cur.execute("SELECT pg_sleep(30)")
    timer.join()
    assert raised.value.sqlstate == "57014"
    cur.execute("SELECT 1")
    assert cur.fetchone() == (1,)


def test_other_threads_run_while_waiting(cur):
    ticks = 0
    stop = threading.Event()

    def count():
        nonlocal ticks
        while not stop.is_set():
            ticks += 1
            time.sleep(0.01)

    worker = threading.Thread(target=count)
    worker.start()
    try:
        cur.execute("SELECT pg_sleep(1)")
    finally:
        stop.set()
        worker.join()
    assert ticks > 20


def test_threads_sharing_a_connection_take_turns(conn):
    errors = []

    def work():
        try:
            cursor = conn.cursor()
            for _ in range(20):
                cursor.execute("SELECT pg_sleep(0.001)::text, %s", ("x",))
                assert cursor.fetchall() == [("", "x")]
        except Exception as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []
