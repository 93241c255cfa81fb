"""The prepared floor: parameters in the text form the server parses back to the same values,
one preparation per text, and the sent text where the server refuses to prepare."""
import datetime
from decimal import Decimal

import psycopg2
import pytest

from bench.capture import Statement, StatementLog
from bench.floor_runner import FloorPeer, PreparedFloorPeer
from bench.floor_statements import text_parameter, write_statement_file


@pytest.fixture
def cursor(keywords):
    connection = psycopg2.connect(**keywords)
    yield connection.cursor()
    connection.close()


@pytest.mark.parametrize("value, type_name", [
    (True, "boolean"), (False, "boolean"), (-12345678901234, "bigint"), (0.1, "float8"), (1e300, "float8"),
    (float("inf"), "float8"), (float("nan"), "float8"), (Decimal("12.3400"), "numeric"),
    ("é 'quoted' \\ back", "text"), (b"\x00\xff'\\", "bytea"),
    (["a", None, 'q"uote', "back\\slash", "", "NULL", "{x,y}"], "text[]"),
    ([[1, 2], [3, None]], "integer[]"), ([True, False], "boolean[]"), ([0.25, None], "real[]"),
    (['{"a": [1, "é"]}'], "jsonb[]"), ([b"\x01\\"], "bytea[]"), ([], "text[]"),
])
def test_text_form_reads_back_as_the_value(value, type_name, cursor):
    cursor.execute(f"SELECT %s::{type_name} IS NOT DISTINCT FROM %s::{type_name}", (value, text_parameter(value)))
    assert cursor.fetchone()[0]


@pytest.mark.parametrize("value, error", [
    ({"a": 1}, TypeError), (datetime.date(2024, 1, 2), TypeError), (["a", {"b": 1}], TypeError),
    ("nul\x00inside", ValueError),
])
def test_values_without_a_text_form_are_refused(value, error):
    with pytest.raises(error):
        text_parameter(value)


@pytest.mark.parametrize("template, params", [("SELECT %s, %s", (1,)), ("SELECT %s", (1, 2)),
                                              ("SELECT %d", (1,))])
def test_statement_file_refuses_parameters_that_do_not_fit_the_template(template, params, tmp_path):
    log = StatementLog(timed=[Statement(template, params, b"", 1)])
    write_statement_file(log, tmp_path / "plain.bin")  # the plain floor sends the text only
    with pytest.raises(ValueError):
        write_statement_file(log, tmp_path / "prepared.bin", with_parameters=True)


def _statements(cursor, *pairs):
    return [Statement(template, params, cursor.mogrify(template, params or None), -1) for template, params in pairs]


@pytest.mark.parametrize("floor_class, rows, notes", [
    (FloorPeer, 1 + 1 + 3 + 1 + 0, []),
    # The last statement sees the two texts prepared so far and itself.
    (PreparedFloorPeer, 1 + 1 + 3 + 1 + 3, ["1 statement text(s) refused by PREPARE ran as sent"]),
])
def test_each_text_is_prepared_once_and_a_refused_one_runs_as_sent(floor_class, rows, notes, cursor, floor_binary,
                                                                    server, database):
    timed = _statements(
        cursor, ("BEGIN", ()), ("SELECT %s::int + 1", (1,)), ("SELECT %s::int + 1", (2,)),
        ("SELECT unnest(%s)", (["a", "b", "c"],)),  # unnest(unknown): PREPARE fails, the transaction goes on
        ("SELECT 1 WHERE %s::text IS NULL", (None,)),
        ("SELECT name FROM pg_prepared_statements WHERE %s", (True,)), ("COMMIT", ()))
    floor = floor_class(floor_binary, server.conninfo(database))
    try:
        result = floor.run(StatementLog(timed=timed))
    finally:
        floor.close()
    assert result.rows == [rows]
    assert result.notes == notes
