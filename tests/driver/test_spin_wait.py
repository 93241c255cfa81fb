"""Short replies may be waited for by reading the socket for a moment before
sleeping on it, unless one of the text's last few replies came later. Statements
must come back the same whichever way they are waited for, so each test mixes
quick and slow replies of its texts."""
import threading

import pytest

RUNS = 40


@pytest.fixture(params=[True, False], ids=["spin", "sleep"])
def waiting(request, conn):
    conn.spin_wait = request.param
    return conn


def test_spin_wait_is_on_by_default_and_per_connection(driver, connect_params, conn):
    other = driver.connect(**connect_params, autocommit=True)
    assert conn.spin_wait is True and other.spin_wait is True
    conn.spin_wait = False
    assert conn.spin_wait is False and other.spin_wait is True
    other.close()


@pytest.mark.parametrize("setting, expected", [("off", False), ("0", False), ("No", False), ("on", True), ("", True)])
def test_environment_sets_the_default(driver, connect_params, monkeypatch, setting, expected):
    monkeypatch.setenv("NELVOR_SPIN_WAIT", setting)
    connection = driver.connect(**connect_params, autocommit=True)
    assert connection.spin_wait is expected
    connection.close()


def test_a_bad_environment_setting_is_refused_before_connecting(driver, connect_params, monkeypatch):
    monkeypatch.setenv("NELVOR_SPIN_WAIT", "sometimes")
    with pytest.raises(ValueError, match="NELVOR_SPIN_WAIT must be on or off, not 'sometimes'"):
        driver.connect(**connect_params, autocommit=True)


def test_replies_fast_slow_and_failing_come_back_as_sent(driver, waiting):
    cur = waiting.cursor()
    for run in range(RUNS):
        cur.execute("SELECT %s::int + 1, repeat('x', %s)", (run, run))
        assert cur.fetchall() == [(run + 1, "x" * run)]
        # One text whose reply is now later than any reading before sleeping, now quick.
        cur.execute("SELECT pg_sleep(%s), %s", (0.005 if run % 4 == 0 else 0, run))
        assert cur.fetchone()[1] == run
        with pytest.raises(driver.DataError, match="division by zero"):
            cur.execute("SELECT 1 / (%s - %s)", (run, run))
        cur.execute("SELECT 1; SELECT %s", (run,))
        assert cur.fetchall() == [(run,)]


def test_transactions_with_a_held_begin(waiting):
    cur = waiting.cursor()
    cur.execute("CREATE TEMP TABLE spun (n int)")
    for run in range(RUNS):
        cur.execute("BEGIN")
        cur.execute("INSERT INTO spun VALUES (%s)", (run,))
        cur.execute("COMMIT" if run % 2 == 0 else "ROLLBACK")
    cur.execute("SELECT count(*), sum(n) FROM spun")
    assert cur.fetchone() == (RUNS // 2, sum(range(0, RUNS, 2)))


@pytest.mark.parametrize("earlier_runs", [0, 1, 2, 3])
def test_a_connection_lost_while_waiting_is_operational_error(driver, connect_params, conn, earlier_runs):
    cur = conn.cursor()
    for _ in range(earlier_runs):
        cur.execute("SELECT %s", (1,))
    killer = driver.connect(**connect_params, autocommit=True)
    killer.cursor().execute("SELECT pg_terminate_backend(%s)", (conn.get_backend_pid(),))
    killer.close()
    with pytest.raises(driver.OperationalError):
        cur.execute("SELECT %s", (1,))


def test_threads_sharing_a_connection(waiting):
    failures = []

    def work(offset):
        try:
            cur = waiting.cursor()
            for run in range(RUNS):
                cur.execute("SELECT %s::int * 2", (offset + run,))
                assert cur.fetchone() == ((offset + run) * 2,)
        except Exception as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=work, args=(offset,)) for offset in (0, 1000, 2000)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
