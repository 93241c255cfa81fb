"""COPY FROM STDIN and TO STDOUT through cursor.copy_expert."""
import io
import signal
import time

import pytest


@pytest.fixture
def table(cur):
    cur.execute("CREATE TEMP TABLE copied (id int, name text)")
    return "copied"


def rows(cur):
    cur.execute("SELECT id, name FROM copied ORDER BY id")
    return cur.fetchall()


@pytest.mark.parametrize("make_file", [lambda text: io.StringIO(text), lambda text: io.BytesIO(text.encode())],
                         ids=["text", "bytes"])
def test_copy_from_stdin_in_small_pieces(cur, table, make_file):
    data = "".join(f"{i}\tnäme {i}\n" for i in range(1, 101)) + "101\t\\N\n"
    cur.copy_expert("COPY copied FROM STDIN", make_file(data), size=7)
    assert cur.rowcount == 101 and cur.statusmessage == "COPY 101"
    assert rows(cur)[:2] == [(1, "näme 1"), (2, "näme 2")] and rows(cur)[-1] == (101, None)


@pytest.mark.parametrize("file, expected", [
    (io.StringIO(), "id,name\n1,a\n2,\"b,c\"\n"),
    (io.BytesIO(), b"id,name\n1,a\n2,\"b,c\"\n"),
], ids=["text", "bytes"])
def test_copy_to_stdout(cur, table, file, expected):
    cur.execute("INSERT INTO copied VALUES (1, 'a'), (2, 'b,c')")
    cur.copy_expert("COPY (SELECT * FROM copied ORDER BY id) TO STDOUT WITH (FORMAT csv, HEADER)", file)
    assert file.getvalue() == expected and cur.rowcount == 2


def test_bad_data_fails_the_copy_and_keeps_the_connection(driver, cur, table):
    with pytest.raises(driver.DataError) as raised:
        cur.copy_expert("COPY copied FROM STDIN", io.StringIO("1\ta\nnot a number\tb\n"))
    assert raised.value.sqlstate == "22P02"
    assert rows(cur) == []


def test_failing_source_ends_the_copy_with_nothing_kept(cur, table):
    class Source:
        calls = 0

        def read(self, size):
            self.calls += 1
            if self.calls > 2:
                raise OSError("disk gone")
            return "1\ta\n"

    with pytest.raises(OSError, match="disk gone"):
        cur.copy_expert("COPY copied FROM STDIN", Source())
    assert rows(cur) == []


def test_failing_sink_stops_the_copy_and_keeps_the_connection(cur):
    class Sink:
        written = 0

        def write(self, data):
            self.written += 1
            if self.written == 10:
                raise OSError("disk full")

    sink = Sink()
    with pytest.raises(OSError, match="disk full"):
        cur.copy_expert("COPY (SELECT g FROM generate_series(1, 1000000) g) TO STDOUT", sink)
    assert sink.written == 10
    cur.execute("SELECT 1")
    assert cur.fetchall() == [(1,)]


def test_statements_that_are_not_a_copy(driver, cur, table):
    with pytest.raises(driver.ProgrammingError, match="not a COPY"):
        cur.copy_expert("SELECT 1", io.StringIO())
    with pytest.raises(driver.ProgrammingError) as raised:
        cur.copy_expert("COPY no_such_table FROM STDIN", io.StringIO())
    assert raised.value.sqlstate == "42P01"
    with pytest.raises(driver.NotSupportedError):  # execute() still takes no COPY
        cur.execute("COPY copied FROM STDIN")
    cur.execute("SELECT 2")
    assert cur.fetchall() == [(2,)]


def test_copy_belongs_to_the_transaction(driver, connect_params, conn, cur, table):
    cur.execute("BEGIN")  # held until the COPY needs it
    cur.copy_expert("COPY copied FROM STDIN", io.StringIO("1\ta\n"))
    cur.execute("ROLLBACK")
    assert rows(cur) == []
    cur.execute("CREATE TABLE copied_shared (id int)")
    pep = driver.connect(**connect_params)
    try:
        pep.cursor().copy_expert("COPY copied_shared FROM STDIN", io.StringIO("7\n"))
        assert pep.status == driver.STATUS_BEGIN
        cur.execute("SELECT count(*) FROM copied_shared")
        assert cur.fetchone() == (0,)
        pep.commit()
        cur.execute("SELECT id FROM copied_shared")
        assert cur.fetchall() == [(7,)]
    finally:
        pep.close()


def _raise_keyboard_interrupt(signum, frame):
    raise KeyboardInterrupt


def test_signal_interrupts_a_copy_waiting_for_data(cur):
    previous = signal.signal(signal.SIGALRM, _raise_keyboard_interrupt)
    started = time.monotonic()
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.3)
        with pytest.raises(KeyboardInterrupt):
            cur.copy_expert("COPY (SELECT pg_sleep(30)) TO STDOUT", io.StringIO())
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert time.monotonic() - started < 5
    cur.execute("SELECT 42")
    assert cur.fetchone() == (42,)
