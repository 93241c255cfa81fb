"""PEP 249 module and cursor surface, and what psycopg2 users rely on besides:
type objects, constructors, named-tuple descriptions, %(name)s parameters,
mogrify, callproc, nextset, sizes, executemany's counts."""
import datetime
import time

import pytest


def test_module_globals(driver):
    from nelvor_data.connections.implementations import current_store
    assert (driver.apilevel, driver.threadsafety, driver.paramstyle) == ("2.0", 2, "pyformat")
    for name in ("STRING", "BINARY", "NUMBER", "DATETIME", "ROWID", "Date", "Binary", "Column"):
        assert getattr(current_store, name) is getattr(driver, name)


@pytest.mark.parametrize("sql, matches", [
    ("SELECT 'a'::text, 'b'::varchar, 'c'::char(2), 'n'::name", "STRING"),
    ("SELECT '\\x00'::bytea", "BINARY"),
    ("SELECT 1::int2, 1, 1::int8, 1.5::float4, 1.5::float8, 1.5::numeric", "NUMBER"),
    ("SELECT now()::date, now()::time, now()::timestamp, now(), '1 day'::interval", "DATETIME"),
    ("SELECT 1::oid", "ROWID"),
])
def test_type_objects_equal_the_description_type_codes(driver, cur, sql, matches):
    cur.execute(sql)
    kinds = ("STRING", "BINARY", "NUMBER", "DATETIME", "ROWID")
    expected = {"NUMBER", "ROWID"} if matches == "ROWID" else {matches}  # an oid is a number too
    for column in cur.description:
        assert {kind for kind in kinds if column.type_code == getattr(driver, kind)} == expected
        assert getattr(driver, matches) == column.type_code and not getattr(driver, matches) != column.type_code


def test_constructors(driver, select_one):
    assert driver.Date(2002, 12, 25) == datetime.date(2002, 12, 25)
    assert driver.Time(13, 45, 30) == datetime.time(13, 45, 30)
    assert driver.Timestamp(2002, 12, 25, 13, 45, 30) == datetime.datetime(2002, 12, 25, 13, 45, 30)
    ticks = time.mktime((2002, 12, 25, 13, 45, 30, 0, 0, -1))
    assert driver.DateFromTicks(ticks) == datetime.date(2002, 12, 25)
    assert driver.TimeFromTicks(ticks) == datetime.time(13, 45, 30)
    assert driver.TimestampFromTicks(ticks) == datetime.datetime(2002, 12, 25, 13, 45, 30)
    assert select_one("SELECT %s::bytea", (driver.Binary(b"a\x00b"),)) == b"a\x00b"
    assert select_one("SELECT %s", (driver.Date(2002, 12, 25),)) == datetime.date(2002, 12, 25)


def test_description_items_are_named_tuples(cur):
    cur.execute("SELECT 1::int4 AS a, 2.5::numeric(10, 3) AS b, 'x'::text AS c")
    a, b, c = cur.description
    assert (a.name, a.type_code, a.internal_size) == ("a", 23, 4)
    assert (b.precision, b.scale) == (10, 3)
    assert c.internal_size is None and c.display_size is None and c.null_ok is None
    assert a[0] == "a" and a[1] == 23 and len(a) == 7 and isinstance(a, tuple)
    assert tuple(a) == ("a", 23, None, 4, None, None, None)


@pytest.fixture
def table(cur):
    cur.execute("CREATE TEMP TABLE beers (id int, name text)")
    return "beers"


def test_named_parameters_in_execute_and_executemany(driver, cur, select_one, table):
    assert select_one("SELECT %(a)s || %(b)s || %(a)s || '%%'", {"a": "x", "b": "y"}) == "xyx%"
    cur.executemany("INSERT INTO beers VALUES (%(id)s, %(name)s)",
                    [{"id": 1, "name": "Cooper's"}, {"id": 2, "name": "Victoria"}])
    assert cur.rowcount == 2 and cur.statusmessage == "INSERT 0 1"
    cur.execute("SELECT name FROM beers WHERE id = %(id)s", {"id": 1, "unused": object()})
    assert cur.fetchall() == [("Cooper's",)]
    with pytest.raises(KeyError):
        cur.execute("SELECT %(missing)s", {"id": 1})
    with pytest.raises(driver.ProgrammingError, match="can't be mixed"):
        cur.execute("SELECT %(id)s, %s", {"id": 1})
    with pytest.raises(driver.ProgrammingError, match="incomplete placeholder"):
        cur.execute("SELECT %(id", {"id": 1})


def test_fetchmany_honours_arraysize(cur):
    cur.execute("SELECT generate_series(1, 10)")
    cur.arraysize = 4
    assert [len(cur.fetchmany()) for _ in range(4)] == [4, 4, 2, 0]


def test_mogrify_shows_the_text_that_would_be_sent(driver, conn, cur):
    assert cur.mogrify("SELECT %s, %s", (1, "it's")) == b"SELECT 1, 'it''s'"
    assert cur.mogrify("SELECT %(a)s", {"a": None}) == b"SELECT NULL"
    assert cur.mogrify("SELECT 100%") == b"SELECT 100%"
    with pytest.raises(driver.ProgrammingError):
        cur.mogrify("SELECT %s", ())
    assert cur.description is None  # nothing was run


def test_callproc_runs_the_function_and_returns_the_parameters(driver, cur):
    assert cur.callproc("lower", ("FOO",)) == ("FOO",)
    assert cur.fetchall() == [("foo",)]
    cur.execute("CREATE FUNCTION pg_temp.add(a int, b int) RETURNS int LANGUAGE sql AS 'SELECT a + b'")
    params = {"b": 2, "a": 40}
    assert cur.callproc("pg_temp.add", params) is params
    assert cur.fetchone() == (42,)
    cur.callproc("now")
    assert cur.rowcount == 1
    with pytest.raises(driver.ProgrammingError):
        cur.callproc("no_such_function", (1,))


def test_nextset_and_sizes(driver, conn):
    cur = conn.cursor()
    with pytest.raises(driver.ProgrammingError):
        cur.nextset()
    cur.setinputsizes((25,))
    cur.setoutputsize(1000)
    cur.setoutputsize(2000, 0)
    cur.execute("SELECT 1; SELECT 2")
    assert cur.nextset() is None and cur.fetchall() == [(2,)]
