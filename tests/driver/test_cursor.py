"""Cursor behaviour: results, row counts, fetching, statement errors."""
import pytest


@pytest.fixture
def table(cur):
    cur.execute("CREATE TEMP TABLE items (id int PRIMARY KEY, name text);"
                "INSERT INTO items VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd'), (5, 'e')")
    return "items"


def test_description_and_rowcount_follow_each_statement(conn, table):
    cur = conn.cursor()
    assert cur.description is None and cur.rowcount == -1 and cur.query is None
    cur.execute("SELECT id, name AS label FROM items WHERE id > %s ORDER BY id", (2,))
    assert [column[0] for column in cur.description] == ["id", "label"]
    assert [column[1] for column in cur.description] == [23, 25]
    assert all(len(column) == 7 for column in cur.description)
    assert cur.rowcount == 3 and cur.statusmessage == "SELECT 3"
    assert cur.query == b"SELECT id, name AS label FROM items WHERE id > 2 ORDER BY id"
    cur.execute("UPDATE items SET name = 'z' WHERE id <= 2")
    assert cur.description is None and cur.rowcount == 2 and cur.statusmessage == "UPDATE 2"
    cur.execute("CREATE INDEX ON items (name)")
    assert cur.rowcount == -1


def test_fetch_methods_advance_through_the_rows(cur, table):
    cur.execute("SELECT id FROM items ORDER BY id")
    assert cur.fetchone() == (1,)
    assert cur.fetchmany() == [(2,)]
    cur.arraysize = 2
    assert cur.fetchmany() == [(3,), (4,)]
    assert cur.fetchmany(10) == [(5,)]
    assert cur.fetchone() is None and cur.fetchall() == [] and cur.fetchmany() == []
    cur.execute("SELECT id FROM items ORDER BY id")
    assert [row for row in cur] == [(1,), (2,), (3,), (4,), (5,)]


def test_fetch_without_result_set(driver, cur, table):
    cur.execute("DELETE FROM items WHERE id = 1")
    with pytest.raises(driver.ProgrammingError, match="no results"):
        cur.fetchall()


def test_closed_cursor_refuses_work(driver, cur):
    cur.close()
    assert cur.closed
    with pytest.raises(driver.InterfaceError):
        cur.execute("SELECT 1")
    with pytest.raises(driver.InterfaceError):
        cur.fetchone()


def test_last_result_of_several_statements_is_kept(cur):
    cur.execute("SELECT 1; SELECT 2, 3")
    assert cur.fetchall() == [(2, 3)]


def test_executemany_adds_up_rowcount(cur, table):
    cur.executemany("UPDATE items SET name = %s WHERE id = %s", [("x", 1), ("y", 2), ("none", 99)])
    assert cur.rowcount == 2


@pytest.mark.parametrize("sql, error, sqlstate", [
    ("INSERT INTO items VALUES (1, 'dup')", "IntegrityError", "23505"),
    ("INSERT INTO items VALUES (NULL, 'x')", "IntegrityError", "23502"),
    ("SELEC 1", "ProgrammingError", "42601"),
    ("SELECT * FROM no_such_table", "ProgrammingError", "42P01"),
    ("SELECT 1/0", "DataError", "22012"),
    ("SELECT 'x'::int", "DataError", "22P02"),
    ("SELECT pg_terminate_backend(-1); SELECT 1 FROM pg_class LIMIT 0 FOR UPDATE OF nothing", "ProgrammingError",
     "42P01"),
    ("", "ProgrammingError", None),
])
def test_statement_errors_map_to_classes(driver, cur, table, sql, error, sqlstate):
    with pytest.raises(getattr(driver, error)) as raised:
        cur.execute(sql)
    assert raised.value.sqlstate == sqlstate
    assert isinstance(raised.value, driver.Error)
    cur.execute("SELECT 1")  # the connection stays usable
    assert cur.fetchone() == (1,)


def test_error_text_matches_the_server_message(driver, cur, table):
    with pytest.raises(driver.IntegrityError) as raised:
        cur.execute("INSERT INTO items VALUES (1, 'dup')")
    text = str(raised.value)
    assert text.startswith('duplicate key value violates unique constraint "items_pkey"')
    assert "DETAIL:  Key (id)=(1) already exists." in text
    assert raised.value.pgerror.startswith("ERROR:  duplicate key")


def test_copy_is_refused_and_the_connection_survives(driver, cur, table):
    with pytest.raises(driver.NotSupportedError):
        cur.execute("COPY items TO STDOUT")
    with pytest.raises(driver.NotSupportedError):
        cur.execute("COPY items FROM STDIN")
    cur.execute("SELECT count(*) FROM items")
    assert cur.fetchone() == (5,)
