"""A multi-row INSERT of many rows of placeholders travels as COPY where that
stores exactly what the INSERT stores; every outcome must match the INSERT's."""
import decimal
import math

import pytest

COLUMNS = {"t": "text", "i2": "smallint", "i4": "integer", "i8": "bigint", "f4": "real", "f8": "double precision",
           "num": "numeric", "b": "boolean", "j": "json", "jb": "jsonb", "ts": "timestamptz", "arr": "integer[]"}
MANY = 100  # above the row count from which the rows are copied


def create(cur, name):
    columns = ", ".join(f"{column} {kind}" for column, kind in COLUMNS.items())
    cur.execute(f"DROP TABLE IF EXISTS {name}")
    cur.execute(f"CREATE TABLE {name} (id integer PRIMARY KEY, {columns})")


def insert(cur, name, rows):
    width = len(rows[0])
    columns = ", ".join(["id", *COLUMNS][:width])
    groups = ", ".join("(" + ", ".join(["%s"] * width) + ")" for _ in rows)
    cur.execute(f"INSERT INTO {name} ({columns}) VALUES {groups}", [value for row in rows for value in row])
    return cur


def snapshot(cur, name):
    cur.execute(f"SELECT to_json(x)::text FROM {name} x ORDER BY id")
    return [row[0] for row in cur.fetchall()]


VALUES = [
    ["plain", 1, 2, 3, 0.5, 0.25, 1.5, True, '{"a": [1, 2.5]}', '{"b": null}', "2024-01-02 03:04:05+00", [1, 2]],
    ["tab\there\nnew line\r\\ back \\N", -32768, -2**31, 2**62, 1e38, 1e308, decimal.Decimal("1.250"), False,
     '"x\\ty"', '[]', None, [None, 3]],
    ["ünïcode ✓ 𝄞", "7", "42", "9000000000", 1, 2, 3, "true", "1", "2", None, None],
    [None, None, None, None, 0.1, 0.1, 0.1, None, None, None, None, None],
    ["\\.", 5, 6, 7, float("nan"), float("inf"), float("-inf"), True, "null", "null", None, []],
    ["-0", 0, 0, 0, -0.0, -0.0, -0.0, False, "0", "0", None, None],
    ["big", 1, 2, -2**63, 2**70, 2**70, 2**70, True, "1", "1", None, None],
    ["fraction", 1, 2, 3, 1.0000001192092896, 3.14159265358979311, 0.30000000000000004, True, "1", "1", None, None],
]


def rows_of(values, count):
    return [[index, *values[index % len(values)]] for index in range(count)]


def test_copied_rows_store_what_single_inserts_store(cur):
    rows = rows_of(VALUES, MANY)
    create(cur, "copied")
    assert insert(cur, "copied", rows).statusmessage == f"INSERT 0 {MANY}"
    assert cur.rowcount == MANY
    create(cur, "single")
    for row in rows:
        insert(cur, "single", [row])
    assert snapshot(cur, "copied") == snapshot(cur, "single")


@pytest.mark.parametrize("column, value, stored", [
    ("i4", 1.5, 2), ("i4", decimal.Decimal("2.5"), 3), ("f4", 1e300, None), ("t", 5, "5"), ("b", 1, None)])
def test_values_the_columns_would_read_otherwise_are_inserted(cur, driver, column, value, stored):
    """A fraction for an integer column is rounded by the INSERT, a number for a text
    column printed, a too large float refused, an integer for a boolean refused."""
    index = ["id", *COLUMNS].index(column)
    rows = [[n] + [None] * (index - 1) + [value] for n in range(MANY)]
    create(cur, "mixed")
    if stored is None:
        with pytest.raises(driver.DatabaseError):
            insert(cur, "mixed", rows)
        return
    insert(cur, "mixed", rows)
    cur.execute(f"SELECT DISTINCT {column} FROM mixed")
    assert cur.fetchall() == [(stored,)]


def test_a_failing_copy_is_the_inserts_failure_and_stores_nothing(conn, cur, driver):
    create(cur, "failing")
    rows = rows_of(VALUES, MANY) + [[3, *VALUES[0]]]  # a duplicate key in the last row
    cur.execute("BEGIN")
    cur.execute("INSERT INTO failing (id) VALUES (%s)", (10_000,))
    with pytest.raises(driver.IntegrityError):
        insert(cur, "failing", rows)
    with pytest.raises(driver.InternalError):  # the transaction is aborted, as after the INSERT
        cur.execute("SELECT 1")
    cur.execute("ROLLBACK")
    with pytest.raises(driver.ProgrammingError, match="nope"):
        cur.execute("INSERT INTO failing (id, nope) VALUES " + ", ".join(["(%s, %s)"] * MANY), [1, 2] * MANY)
    assert snapshot(cur, "failing") == []
    insert(cur, "failing", rows[:MANY])
    assert len(snapshot(cur, "failing")) == MANY


def test_a_held_begin_goes_first_and_rollback_undoes_the_rows(cur):
    create(cur, "held")
    cur.execute("BEGIN")
    insert(cur, "held", rows_of(VALUES, MANY))
    assert len(snapshot(cur, "held")) == MANY
    cur.execute("ROLLBACK")
    assert snapshot(cur, "held") == []


@pytest.mark.parametrize("text", [
    'INSERT INTO "we""ird" ("a b", "C") VALUES ', 'insert into public."we""ird"("a b","C") values '])
def test_quoted_and_qualified_names(cur, text):
    cur.execute('DROP TABLE IF EXISTS "we""ird"')
    cur.execute('CREATE TABLE "we""ird" ("a b" text, "C" float4)')
    cur.execute(text + ", ".join(["(%s, %s)"] * MANY), ["x\ty", 0.1] * MANY)
    cur.execute('SELECT DISTINCT "a b", "C" = 0.1::float4 FROM "we""ird"')
    assert cur.fetchall() == [("x\ty", True)]


def test_nan_survives(cur):
    create(cur, "nan")
    insert(cur, "nan", [[n, "x", 1, 2, 3, float("nan")] for n in range(MANY)])
    cur.execute("SELECT DISTINCT f4 FROM nan")
    assert math.isnan(cur.fetchone()[0])


@pytest.mark.parametrize("setup", [
    "CREATE RULE skip AS ON INSERT TO target DO INSTEAD NOTHING",
    "ALTER TABLE target ENABLE ROW LEVEL SECURITY",
    "ALTER TABLE target ADD COLUMN g integer GENERATED ALWAYS AS IDENTITY"])
def test_tables_copy_would_treat_otherwise_take_the_insert(cur, setup):
    create(cur, "target")
    cur.execute(setup)
    insert(cur, "target", rows_of(VALUES, MANY))
    cur.execute("SELECT count(*) FROM target")
    assert cur.fetchone()[0] == (0 if "RULE" in setup else MANY)


def test_an_updatable_view_takes_the_insert(cur):
    create(cur, "base")
    cur.execute("CREATE OR REPLACE VIEW base_view AS SELECT * FROM base")
    insert(cur, "base_view", rows_of(VALUES, MANY))
    assert len(snapshot(cur, "base")) == MANY
