"""Edges of the driver that hostile or unlucky use reaches: re-entrant use of a
busy connection, a changed client_encoding, huge fetch sizes, forked children,
sessions the server ended, and the collector while a statement waits.

Where the faulty behaviour would hang or kill the test run, the case runs in a
child process with a time limit."""
import gc
import os
import sys
import textwrap
import threading
import time

import pytest
from python_child import run_python

CHILD_TIMEOUT = 60


def run_child(code, connect_params, timeout=CHILD_TIMEOUT, stderr=None):
    """Runs `code` in a new interpreter with `driver` and `params` defined; returns its stdout
    (and appends its stderr to the list `stderr` when one is given)."""
    prelude = textwrap.dedent(f"""
        import os, signal, sys, threading, time
        from nelvor_data.connections.implementations import ledger_store as driver
        params = {connect_params!r}
    """)
    done = run_python(prelude + textwrap.dedent(code), timeout)
    assert done.returncode == 0, done.stderr
    if stderr is not None:
        stderr.append(done.stderr)
    return done.stdout


# --- Re-entrant use ---------------------------------------------------------

def test_reentrant_use_gets_interface_error_and_a_waiting_thread_answers_signals(connect_params):
    out = run_child("""
        import datetime
        conn = driver.connect(**params, autocommit=True)

        class QueryingZone(datetime.tzinfo):
            def utcoffset(self, moment):
                conn.cursor().execute("SELECT 1")
                return datetime.timedelta(0)

            def dst(self, moment):
                return None

        try:
            conn.cursor().execute("SELECT %s", (datetime.datetime(2024, 1, 1, tzinfo=QueryingZone()),))
        except driver.InterfaceError as error:
            print("rendering:", "busy" in str(error))

        def handler(signum, frame):
            conn.cursor().execute("SELECT 1")
        signal.signal(signal.SIGALRM, handler)
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        try:
            conn.cursor().execute("SELECT pg_sleep(2)")
        except driver.InterfaceError as error:
            print("reentered:", "busy" in str(error))
        cursor = conn.cursor()
        cursor.execute("SELECT 7")
        print("usable:", cursor.fetchone())

        # Another thread holds the connection: the waiting main thread still
        # answers Ctrl-C, twice in a row.
        other = threading.Thread(target=lambda: conn.cursor().execute("SELECT pg_sleep(3)"))
        other.start()
        time.sleep(0.3)
        for attempt in range(2):
            signal.signal(signal.SIGALRM, signal.default_int_handler)
            signal.setitimer(signal.ITIMER_REAL, 0.2)
            started = time.monotonic()
            try:
                conn.cursor().execute("SELECT 1")
            except KeyboardInterrupt:
                print("interrupted:", time.monotonic() - started < 1.5)
        other.join()
    """, connect_params)
    assert out.splitlines() == ["rendering: True", "reentered: True", "usable: (7,)", "interrupted: True",
                                "interrupted: True"]


def test_the_failure_remembered_for_commit_keeps_nothing_alive(connect_params):
    # The failure's traceback holds the frame that holds the connection: kept
    # as it is, that cycle would outlive the program (nanobind reports it at exit).
    stderr = []
    out = run_child("""
        def fail_in_transaction():
            conn = driver.connect(**params)
            cursor = conn.cursor()
            try:
                cursor.execute("SELECT 1/0")
            except driver.DataError:
                pass
            cursor.execute("COMMIT")
            print(cursor.statusmessage)
        fail_in_transaction()
    """, connect_params, stderr=stderr)
    assert out.splitlines() == ["ROLLBACK"]
    assert "leaked" not in stderr[0]


# --- client_encoding --------------------------------------------------------

def test_a_changed_client_encoding_is_refused_and_set_back(driver, conn, cur, admin_sql):
    cur.execute("CREATE TEMP TABLE words (w text)")
    with pytest.raises(driver.NotSupportedError, match="client_encoding LATIN1 is not supported"):
        cur.execute("SET client_encoding TO 'LATIN1'")
    assert conn.encoding == "UTF8"
    cur.execute("SHOW client_encoding")
    assert cur.fetchone() == ("UTF8",)
    # Text still travels unchanged in both directions.
    cur.execute("INSERT INTO words VALUES (%s), ('café')", ("café",))
    cur.execute("SELECT w, convert_to(w, 'UTF8') FROM words")
    assert [(w, bytes(raw)) for w, raw in cur.fetchall()] == [("café", "café".encode())] * 2
    # A change inside a transaction is refused the same way and undone with it.
    cur.execute("BEGIN")
    with pytest.raises(driver.NotSupportedError):
        cur.execute("SELECT set_config('client_encoding', 'SQL_ASCII', false)")
    cur.execute("ROLLBACK")
    cur.execute("SELECT 'é'")
    assert cur.fetchone() == ("é",) and conn.encoding == "UTF8"


def test_a_server_message_sent_in_another_encoding_keeps_its_sqlstate(driver, conn, cur):
    with pytest.raises(driver.DatabaseError) as raised:
        cur.execute("DO $$ BEGIN PERFORM set_config('client_encoding', 'LATIN1', false); "
                    "RAISE EXCEPTION 'café'; END $$")
    assert raised.value.sqlstate == "P0001" and str(raised.value).startswith("caf")
    assert conn.encoding == "UTF8"
    cur.execute("SELECT 'ü'")
    assert cur.fetchone() == ("ü",)


# --- fetchmany --------------------------------------------------------------

@pytest.mark.parametrize("stream", [True, False])
def test_fetchmany_of_any_size_returns_what_remains(conn, cur, stream):
    conn.stream_rows = stream
    cur.execute("SELECT g FROM generate_series(1, 5) g")
    assert cur.fetchone() == (1,)
    assert cur.fetchmany(sys.maxsize) == [(2,), (3,), (4,), (5,)]
    assert cur.fetchmany(sys.maxsize) == []
    cur.execute("SELECT g FROM generate_series(1, 3) g")
    cur.fetchmany(2)
    assert cur.fetchmany(2**31) == [(3,)]


# --- Forked children and dead sessions --------------------------------------

def test_a_forked_child_cannot_use_the_connection_and_leaves_the_parents_session(driver, conn, cur):
    cur.execute("SELECT pg_backend_pid()")
    (pid_before,) = cur.fetchone()
    reader, writer = os.pipe()
    child = os.fork()
    if child == 0:  # pragma: no cover - the child reports through the pipe
        try:
            try:
                conn.cursor().execute("SELECT 1")
                verdict = b"used"
            except driver.InterfaceError as error:
                verdict = b"refused" if b"another process" in str(error).encode() else b"other"
            conn.close()  # must not end the parent's session
            os.write(writer, verdict)
        finally:
            os._exit(0)
    os.close(writer)
    os.waitpid(child, 0)
    assert os.read(reader, 64) == b"refused"
    os.close(reader)
    cur.execute("SELECT pg_backend_pid(), 1")
    assert cur.fetchone() == (pid_before, 1)
    assert not conn.closed


def test_closed_once_the_server_ended_the_session(driver, conn, admin_sql):
    assert not conn.closed
    admin_sql(f"SELECT pg_terminate_backend({conn.get_backend_pid()})")
    with pytest.raises(driver.OperationalError):
        conn.cursor().execute("SELECT 1")
    assert conn.closed


# --- The collector while a statement waits ----------------------------------

@pytest.mark.parametrize("stream", [True, False])
def test_the_collector_runs_while_a_statement_waits_and_another_threads_choice_stands(conn, stream):
    conn.stream_rows = stream
    assert gc.isenabled()
    seen = []

    def other_thread():
        time.sleep(0.3)
        seen.append(gc.isenabled())
        gc.disable()

    try:
        thread = threading.Thread(target=other_thread)
        thread.start()
        for _ in range(3):  # streaming is chosen per text after its first runs
            cursor = conn.cursor()
            cursor.execute("SELECT pg_sleep(0.2), g FROM generate_series(1, 3) g")
            assert len(cursor.fetchall()) == 3
        thread.join()
        assert seen == [True]
        assert not gc.isenabled()
    finally:
        gc.enable()
