"""Statements that repeat run as prepared statements with bound parameters, and
mean exactly what they mean with rendered literals."""
import datetime as dt
import math
import uuid
from decimal import Decimal

import pytest


def run(connection, sql, params=()):
    cur = connection.cursor()
    cur.execute(sql, params)
    return cur.fetchall() if cur.description is not None else cur.rowcount


def prepared_texts(connection):
    """The session's prepared statements, but for the (prepared) query asking for them."""
    rows = run(connection, "SELECT statement FROM pg_prepared_statements")
    return sorted(text for (text,) in rows if "pg_prepared_statements" not in text)


# What a statement returns (and the type the server gave a value) must not
# depend on whether it was prepared.
SAME_MEANING = [
    ("SELECT %s", (1,)), ("SELECT %s", (2**31,)), ("SELECT %s", (-2**31,)), ("SELECT %s", (-2**63,)),
    ("SELECT %s", (10**30,)), ("SELECT 1-%s", (-1,)), ("SELECT 1-%s", (-1.5,)), ("SELECT %s / 2", (7,)),
    ("SELECT %s / 2", (7.0,)), ("SELECT %s", (0.1,)), ("SELECT %s::float8", (1 / 3,)), ("SELECT %s::float8", (-0.0,)),
    ("SELECT %s", (Decimal("5"),)), ("SELECT %s", (Decimal("1E+5"),)), ("SELECT %s", (Decimal("NaN"),)),
    ("SELECT %s", ("text",)), ("SELECT %s || %s", ("a", "b")), ("SELECT %s = 'x'", ("x",)),
    ("SELECT %s", (None,)), ("SELECT coalesce(%s, 5)", (None,)), ("SELECT %s AND %s", (True, False)),
    ("SELECT %s", (b"\x00\xff",)), ("SELECT %s", (dt.date(2024, 2, 29),)),
    ("SELECT %s", (dt.datetime(2024, 1, 2, 3, 4, 5, 6),)),
    ("SELECT %s", (dt.datetime(2024, 1, 2, 3, 4, 5, tzinfo=dt.timezone.utc),)),
    ("SELECT %s", (dt.time(1, 2, 3),)), ("SELECT %s", (dt.timedelta(days=-1, seconds=5),)),
    ("SELECT %s", (uuid.UUID(int=7),)), ("SELECT %s", ([1, 2, None],)), ("SELECT %s", ([1, 2**40],)),
    ("SELECT %s", ([1, 1.5],)), ("SELECT %s", (["a", 'q"b\\'],)), ("SELECT %s", ([None, None],)),
    ("SELECT %s", ([True],)), ("SELECT %s", ([],)), ("SELECT %s", ([[1, 2], [3, 4]],)),
    ("SELECT %s", ([dt.date(2024, 1, 1)],)), ("SELECT %s", (["1", 2],)),
    ("SELECT unnest(%s::integer[])", (["1", "2"],)), ("SELECT %s::text[]", ([1, 2],)),
    ("SELECT '100%%' || %s", ("!",)), ("SELECT x IS %s FROM (VALUES (true), (NULL)) v(x)", (True,)),
    ("SELECT x IS NOT %s FROM (VALUES (true), (NULL)) v(x)", (None,)), ("SELECT %s", (math.inf,)),
    ("SELECT ARRAY[%s, %s]", (1, "2")), ("SELECT %s%s", (1, 2)),
]


def typed_rows(connection, sql, params):
    """The result's column type OIDs and rows (as repr: NaN is not equal to itself)."""
    cur = connection.cursor()
    cur.execute(sql, params)
    return [column[1] for column in cur.description], repr(cur.fetchall())


@pytest.mark.parametrize("sql, params", SAME_MEANING)
def test_prepared_statement_means_what_its_literal_text_means(connect_with, sql, params):
    literal, prepared = connect_with(None), connect_with(0)
    expected = typed_rows(literal, sql, params)
    for _ in range(2):  # prepared at the first execution, reused at the second
        assert typed_rows(prepared, sql, params) == expected
    assert prepared_texts(literal) == []


def test_float_nan_stays_float8(connect_with):
    (value,), = run(connect_with(0), "SELECT %s", (math.nan,))
    assert math.isnan(value)


def test_bound_placeholders_and_literals_in_the_prepared_text(connect_with):
    connection = connect_with(0)
    run(connection, "SELECT %s::int + 1 WHERE %s IS %s AND '5%%' LIKE %s", (1, True, True, "5%"))
    assert prepared_texts(connection) == ["SELECT $1::int + 1 WHERE $2 IS true AND '5%' LIKE $3"]


@pytest.mark.parametrize("threshold, prepared_after", [(0, 1), (1, 2), (2, 3), (None, None)])
def test_threshold_counts_executions_of_a_text(connect_with, threshold, prepared_after):
    connection = connect_with(threshold)
    for execution in range(1, 5):
        assert run(connection, "SELECT %s + 1", (execution,)) == [(execution + 1,)]
        is_prepared = prepared_texts(connection) == ["SELECT $1 + 1"]
        assert is_prepared == (prepared_after is not None and execution >= prepared_after)


def test_same_text_with_other_parameter_types_is_another_statement(connect_with):
    connection = connect_with(0)
    for value in (1, 2**40, "x", 1):
        assert run(connection, "SELECT %s::text", (value,)) == [(str(value),)]
    assert prepared_texts(connection) == ["SELECT $1::text"] * 3


@pytest.mark.parametrize("sql", ["BEGIN", "SAVEPOINT s", "SELECT %s; SELECT %s + 1", "SET search_path = public"])
def test_utility_and_multi_statement_texts_are_not_prepared(connect_with, sql):
    connection = connect_with(0)
    if sql == "SAVEPOINT s":
        run(connection, "BEGIN")
    run(connection, sql, (1, 2) if "%s" in sql else ())
    assert prepared_texts(connection) == []


@pytest.mark.parametrize("sql", [
    "SELECT 'a;b' || %s", 'SELECT %s AS "x;y"', "SELECT $$;$$ || %s", "SELECT E'\\';' || %s", "SELECT %s; ",
    "SELECT %s -- ; SELECT 2", "/* ; */ (SELECT %s)",
])
def test_semicolons_that_end_nothing_leave_one_statement(connect_with, sql):
    connection = connect_with(0)
    run(connection, sql, ("x",))
    assert len(prepared_texts(connection)) == 1


def test_more_parameters_than_the_protocol_carries_fall_back_to_literals(connect_with):
    connection = connect_with(0)
    count = 70_000
    sql = "SELECT cardinality(ARRAY[" + ",".join(["%s"] * count) + "])"
    assert run(connection, sql, tuple(range(count))) == [(count,)]
    assert prepared_texts(connection) == []


def test_refused_prepare_keeps_the_transaction(connect_with):
    """An untyped parameter before IS NULL cannot be prepared; the statement then
    runs with its literal, and the open transaction is not aborted by the attempt."""
    connection = connect_with(0)
    run(connection, "CREATE TEMP TABLE notes (n text)")
    run(connection, "BEGIN")
    run(connection, "INSERT INTO notes VALUES ('kept')")
    assert run(connection, "SELECT %s IS NULL", ("x",)) == [(False,)]
    assert run(connection, "SELECT n FROM notes") == [("kept",)]
    run(connection, "COMMIT")
    assert "SELECT $1 IS NULL" not in prepared_texts(connection)


def test_changed_table_outside_a_transaction_is_prepared_again(connect_with):
    connection = connect_with(0)
    run(connection, "CREATE TABLE shapes (a int)")
    run(connection, "INSERT INTO shapes VALUES (%s)", (1,))
    assert run(connection, "SELECT * FROM shapes WHERE a = %s", (1,)) == [(1,)]
    run(connection, "ALTER TABLE shapes ADD COLUMN b text DEFAULT 'new'")
    assert run(connection, "SELECT * FROM shapes WHERE a = %s", (1,)) == [(1, "new")]


def test_table_changed_by_another_session_fails_the_statement_inside_a_transaction(driver, connect_with,
                                                                                  admin_sql):
    connection = connect_with(0)
    run(connection, "CREATE TABLE shapes2 (a int)")
    assert run(connection, "SELECT * FROM shapes2 WHERE a = %s", (1,)) == []
    run(connection, "BEGIN")
    admin_sql("ALTER TABLE shapes2 ADD COLUMN b int")
    with pytest.raises(driver.NotSupportedError, match="cached plan must not change result type"):
        run(connection, "SELECT * FROM shapes2 WHERE a = %s", (1,))
    run(connection, "ROLLBACK")
    assert run(connection, "SELECT * FROM shapes2 WHERE a = %s", (1,)) == []  # prepared again


def test_table_changed_through_the_same_connection_needs_no_retry(connect_with):
    connection = connect_with(0)
    run(connection, "CREATE TABLE shapes3 (a int)")
    assert run(connection, "SELECT * FROM shapes3 WHERE a = %s", (1,)) == []
    run(connection, "BEGIN")
    run(connection, "ALTER TABLE shapes3 ADD COLUMN b int")
    assert run(connection, "SELECT * FROM shapes3 WHERE a = %s", (1,)) == []
    cur = connection.cursor()
    cur.execute("SELECT * FROM shapes3 WHERE a = %s", (1,))
    assert [column[0] for column in cur.description] == ["a", "b"]
    run(connection, "COMMIT")


def test_cache_is_bounded_and_evicted_statements_are_deallocated(connect_with):
    connection = connect_with(0)
    count_all = "SELECT count(*) FROM pg_prepared_statements"  # itself one of them
    for number in range(150):
        run(connection, f"SELECT %s + {number}", (1,))
    texts = prepared_texts(connection)
    assert "SELECT $1 + 149" in texts and "SELECT $1 + 0" not in texts
    # An evicted statement is deallocated before the next statement is sent.
    assert run(connection, count_all) == [(101,)]
    assert run(connection, count_all) == [(100,)]
    # Inside a transaction the evicted names wait for the first statement after it.
    run(connection, "BEGIN")
    for number in range(150, 170):
        run(connection, f"SELECT %s + {number}", (1,))
    assert run(connection, count_all)[0][0] > 100
    run(connection, "COMMIT")
    assert run(connection, count_all) == [(100,)]


def test_large_statement_texts_are_bounded_by_size_too(connect_with):
    connection = connect_with(0)
    filler = "x" * 3_000_000
    for number in range(3):
        assert run(connection, f"SELECT %s + {number}, length('{filler}')", (1,)) == [(1 + number, len(filler))]
    run(connection, "SELECT 1", ())  # evicted statements are deallocated before this one
    big = [text for text in prepared_texts(connection) if filler in text]
    assert len(big) == 2 and not any(text.startswith("SELECT $1 + 0,") for text in big)


def test_statements_forgotten_by_the_server_are_prepared_again(connect_with):
    connection = connect_with(0)
    assert run(connection, "SELECT %s * 2", (4,)) == [(8,)]
    run(connection, "DISCARD ALL")
    assert run(connection, "SELECT %s * 2", (5,)) == [(10,)]
    other = connect_with(0)  # statements belong to their own session
    assert prepared_texts(other) == []


def test_deallocated_behind_the_drivers_back_is_recovered_outside_a_transaction(connect_with):
    connection = connect_with(0)
    run(connection, "SELECT %s * 3", (1,))
    (name,), = run(connection, "SELECT name FROM pg_prepared_statements WHERE statement LIKE %s", ("% * 3",))
    run(connection, f"DEALLOCATE {name}")
    assert run(connection, "SELECT %s * 3", (2,)) == [(6,)]


def test_query_attribute_shows_the_text_with_literals(connect_with):
    cur = connect_with(0).cursor()
    cur.execute("SELECT %s, %s", (1, "it's"))
    assert cur.query == b"SELECT 1, 'it''s'"


@pytest.mark.parametrize("value, threshold", [(None, None), (0, 0), (3, 3), ("off", None), ("4", 4)])
def test_threshold_keyword_is_the_drivers_own(connect_with, value, threshold):
    connection = connect_with(value)
    assert connection.prepare_threshold == threshold
    assert run(connection, "SELECT 1") == [(1,)]


@pytest.mark.parametrize("value", [-1, "sometimes", 1.5])
def test_bad_threshold_is_refused(driver, connect_params, value):
    with pytest.raises(ValueError, match="prepare_threshold"):
        driver.connect(**connect_params, prepare_threshold=value)


@pytest.mark.parametrize("setting, threshold", [("off", None), ("0", 0), ("", 2)])
def test_threshold_default_from_the_environment(driver, connect_params, monkeypatch, setting, threshold):
    monkeypatch.setenv("NELVOR_PREPARE_THRESHOLD", setting)
    connection = driver.connect(**connect_params)
    assert connection.prepare_threshold == threshold
    connection.close()


@pytest.mark.parametrize("setting", ["sometimes", "-1"])
def test_bad_threshold_in_the_environment_is_named(driver, connect_params, monkeypatch, setting):
    monkeypatch.setenv("NELVOR_PREPARE_THRESHOLD", setting)
    with pytest.raises(ValueError, match="NELVOR_PREPARE_THRESHOLD") as refused:
        driver.connect(**connect_params)
    assert all(accepted in str(refused.value) for accepted in ("whole number", "'off'", "'none'"))


def test_bad_threshold_keyword_lists_every_accepted_form(driver, connect_params):
    with pytest.raises(ValueError) as refused:
        driver.connect(**connect_params, prepare_threshold="sometimes")
    assert all(accepted in str(refused.value) for accepted in ("None", "whole number", "'off'", "'none'"))
