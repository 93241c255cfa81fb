"""Query rows built while they arrive behave as rows built from the whole result:
same values, same cursor, and a failure after some rows fails the whole statement."""
import pytest

MIXED_ROWS = """
    SELECT g, 'row ' || g, g * 1.5, g %% 3 = 0, ARRAY[g, -g], json_build_object('g', g, 'half', g / 2.0),
           CASE WHEN g %% 7 = 0 THEN NULL ELSE now()::date - g END
    FROM generate_series(1, %s) g ORDER BY g"""


@pytest.fixture(params=[True, False], ids=["streamed", "whole"])
def mode_cur(request, conn):
    conn.stream_rows = request.param
    return conn.cursor()


def test_both_ways_build_the_same_rows(conn, driver, connect_params):
    other = driver.connect(**connect_params, autocommit=True)
    other.stream_rows = False
    streamed, whole = conn.cursor(), other.cursor()
    for cur in (streamed, whole):
        cur.execute(MIXED_ROWS, (20_000,))
    assert streamed.description == whole.description and streamed.rowcount == whole.rowcount == 20_000
    assert streamed.statusmessage == whole.statusmessage == "SELECT 20000"
    assert streamed.fetchall() == whole.fetchall()
    other.close()


def test_fetch_methods_walk_through_a_streamed_result(mode_cur):
    mode_cur.execute("SELECT g FROM generate_series(1, 10) g", ())
    assert mode_cur.fetchone() == (1,)
    assert mode_cur.fetchmany(3) == [(2,), (3,), (4,)]
    assert mode_cur.rownumber == 4
    assert next(iter(mode_cur)) == (5,)
    assert mode_cur.fetchall() == [(g,) for g in range(6, 11)]
    assert mode_cur.fetchone() is None and mode_cur.fetchall() == [] and mode_cur.fetchmany(2) == []
    mode_cur.execute("SELECT 1 WHERE false", ())
    assert mode_cur.rowcount == 0 and mode_cur.fetchall() == [] and mode_cur.description is not None


def test_fetchall_hands_out_a_list_the_cursor_no_longer_uses(mode_cur):
    mode_cur.execute("SELECT g FROM generate_series(1, 3) g", ())
    rows = mode_cur.fetchall()
    rows.append("mine")
    assert mode_cur.fetchall() == [] and mode_cur.fetchone() is None


@pytest.mark.parametrize("in_transaction", [False, True])
def test_error_after_some_rows_fails_the_whole_statement(driver, mode_cur, in_transaction):
    if in_transaction:
        mode_cur.execute("BEGIN")
    mode_cur.execute("SELECT g FROM generate_series(1, 3) g", ())
    with pytest.raises(driver.DataError, match="division by zero"):
        mode_cur.execute("SELECT 1/(1000-g) FROM generate_series(1,2000) g", ())
    assert mode_cur.description is None and mode_cur.rowcount == -1
    with pytest.raises(driver.ProgrammingError, match="no results"):
        mode_cur.fetchall()
    if in_transaction:
        with pytest.raises(driver.InternalError):  # the transaction is aborted
            mode_cur.execute("SELECT 1", ())
        mode_cur.execute("ROLLBACK")
    mode_cur.execute("SELECT %s", (7,))
    assert mode_cur.fetchall() == [(7,)]


def test_timeout_after_some_rows_leaves_the_connection_usable(driver, mode_cur):
    mode_cur.execute("SET statement_timeout = '300ms'")
    with pytest.raises(driver.QueryCanceledError):
        mode_cur.execute("SELECT g, pg_sleep(CASE WHEN g = 500 THEN 5 ELSE 0 END) FROM generate_series(1, 1000) g",
                         ())
    mode_cur.execute("RESET statement_timeout")
    mode_cur.execute("SELECT count(*) FROM generate_series(1, 5000)", ())
    assert mode_cur.fetchone() == (5000,)


def test_value_that_cannot_be_built_fails_the_statement_and_keeps_the_connection(driver, conn):
    """A streamed row is built at execute: the error surfaces there, and the rest of
    the result is read so that the next statement runs."""
    cur = conn.cursor()
    with pytest.raises(ValueError):  # beyond Python's limit of integer digits: valid json, no int
        cur.execute("SELECT CASE WHEN g = 3000 THEN '1' || repeat('0', 5000) ELSE '1' END::json FROM "
                    "generate_series(1, 5000) g", ())
    cur.execute("SELECT 'after'", ())
    assert cur.fetchall() == [("after",)]
