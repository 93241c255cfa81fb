"""PEP 249 transactions on a driver connection: connect() opens with autocommit
off, commit() and rollback() end what the first statement opened, `with conn:`
commits or rolls back; the state psycopg2 users read (status, notices)."""
import pytest


@pytest.fixture
def pep_conn(driver, connect_params):
    connection = driver.connect(**connect_params)
    yield connection
    connection.close()


@pytest.fixture
def table(conn):
    conn.cursor().execute("CREATE TABLE IF NOT EXISTS tx_items (v int)")
    conn.cursor().execute("TRUNCATE tx_items")
    return "tx_items"


def visible(conn, table):
    cur = conn.cursor()
    cur.execute(f"SELECT v FROM {table} ORDER BY v")
    return [v for (v,) in cur.fetchall()]


def test_connect_opens_with_autocommit_off_and_commit_publishes(driver, pep_conn, conn, table):
    assert pep_conn.autocommit is False
    assert pep_conn.status == driver.STATUS_READY and pep_conn.get_transaction_status() == 0
    cur = pep_conn.cursor()
    cur.execute(f"INSERT INTO {table} VALUES (%s)", (1,))
    assert pep_conn.status == driver.STATUS_BEGIN and pep_conn.get_transaction_status() == 2
    assert visible(conn, table) == []
    pep_conn.commit()
    assert pep_conn.status == driver.STATUS_READY
    assert visible(conn, table) == [1]
    cur.execute(f"INSERT INTO {table} VALUES (%s)", (2,))
    pep_conn.rollback()
    assert visible(conn, table) == [1] and visible(pep_conn, table) == [1]
    pep_conn.rollback()


def test_failed_statement_is_rolled_back_and_the_connection_goes_on(driver, pep_conn, conn, table):
    cur = pep_conn.cursor()
    cur.execute(f"INSERT INTO {table} VALUES (1)")
    with pytest.raises(driver.ProgrammingError):
        cur.execute("SELECT no_such_column")
    with pytest.raises(driver.InternalError):  # in a failed transaction until it ends
        cur.execute("SELECT 1")
    pep_conn.rollback()
    cur.execute("SELECT 1")
    assert cur.fetchone() == (1,)
    pep_conn.commit()
    assert visible(conn, table) == []


def test_statement_refused_before_sending_opens_no_transaction(driver, pep_conn):
    cur = pep_conn.cursor()
    with pytest.raises(driver.ProgrammingError):
        cur.execute("UPDATE no_such_table SET a = %s, b = %s", (1,))
    assert pep_conn.status == driver.STATUS_READY
    pep_conn.autocommit = True


@pytest.mark.parametrize("end", ["commit", "rollback"])
def test_ending_with_nothing_open_sends_nothing(pep_conn, end):
    getattr(pep_conn, end)()
    cur = pep_conn.cursor()
    cur.execute("BEGIN")  # held until a statement needs it: nothing to end on the server
    getattr(pep_conn, end)()
    assert pep_conn.get_transaction_status() == 0


def test_with_block_commits_or_rolls_back_and_keeps_the_connection(driver, pep_conn, conn, table):
    with pep_conn as entered:
        assert entered is pep_conn
        pep_conn.cursor().execute(f"INSERT INTO {table} VALUES (1)")
    assert visible(conn, table) == [1]
    with pytest.raises(ZeroDivisionError):
        with pep_conn:
            pep_conn.cursor().execute(f"INSERT INTO {table} VALUES (2)")
            1 / 0
    assert not pep_conn.closed and visible(conn, table) == [1]
    with pep_conn.cursor() as cur:
        cur.execute("SELECT 1")
    assert cur.closed
    pep_conn.close()
    with pytest.raises(driver.InterfaceError):
        with pep_conn:
            pass


def test_autocommit_switches_only_outside_a_transaction(driver, pep_conn, conn, table):
    cur = pep_conn.cursor()
    cur.execute("SELECT 1")
    with pytest.raises(driver.ProgrammingError, match="inside a transaction"):
        pep_conn.autocommit = True
    with pytest.raises(driver.ProgrammingError, match="inside a transaction"):
        pep_conn.isolation_level = "serializable"
    pep_conn.rollback()
    pep_conn.autocommit = True
    cur.execute(f"INSERT INTO {table} VALUES (5)")
    assert visible(conn, table) == [5] and pep_conn.status == driver.STATUS_READY
    pep_conn.autocommit = False
    pep_conn.isolation_level = "serializable"
    cur.execute("SHOW transaction_isolation")
    assert cur.fetchone() == ("serializable",)
    pep_conn.rollback()


def test_autocommit_keyword_and_the_explicit_begin_of_autocommit(driver, connect_params, conn, table):
    connection = driver.connect(**connect_params, autocommit=True)
    try:
        assert connection.autocommit is True
        cur = connection.cursor()
        cur.execute("BEGIN")
        assert connection.status == driver.STATUS_BEGIN
        with pytest.raises(driver.ProgrammingError):
            connection.autocommit = False
        cur.execute(f"INSERT INTO {table} VALUES (3)")
        assert visible(conn, table) == []
        connection.commit()
        assert visible(conn, table) == [3]
    finally:
        connection.close()


def test_closed_connection_refuses_commit_and_rollback(driver, pep_conn):
    pep_conn.close()
    for end in (pep_conn.commit, pep_conn.rollback):
        with pytest.raises(driver.InterfaceError):
            end()


def test_exception_classes_are_attributes_of_the_connection(driver, pep_conn):
    for name in ("Warning", "Error", "InterfaceError", "DatabaseError", "DataError", "OperationalError",
                 "IntegrityError", "InternalError", "ProgrammingError", "NotSupportedError"):
        assert getattr(pep_conn, name) is getattr(driver, name)


def test_notices_are_kept_the_last_fifty(pep_conn):
    cur = pep_conn.cursor()
    cur.execute("DO $$ BEGIN RAISE NOTICE 'hello %', 42; END $$")
    assert pep_conn.notices == ["NOTICE:  hello 42\n"]
    pep_conn.notices.clear()
    cur.execute("DO $$ BEGIN FOR i IN 1..60 LOOP RAISE NOTICE 'n%', i; END LOOP; END $$")
    notices = pep_conn.notices
    assert len(notices) == 50 and notices[0] == "NOTICE:  n11\n" and notices[-1] == "NOTICE:  n60\n"


def test_cursors_of_one_connection_share_its_transaction(driver, pep_conn, table):
    first, second = pep_conn.cursor(), pep_conn.cursor()
    with pytest.raises(driver.ProgrammingError):  # nothing executed yet
        first.fetchone()
    first.execute(f"INSERT INTO {table} VALUES (1)")
    assert first.description is None and first.rowcount == 1
    second.execute(f"SELECT v FROM {table}")
    assert second.fetchall() == [(1,)] and second.rowcount == 1
    pep_conn.rollback()
