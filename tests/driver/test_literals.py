"""Parameters rendered as SQL literals, checked by what the server makes of them."""
import datetime as dt
import math
import uuid
from decimal import Decimal

import pytest

UTC = dt.timezone.utc
PLUS_0530 = dt.timezone(dt.timedelta(hours=5, minutes=30))


@pytest.mark.parametrize("text", [
    "", "plain", "it's", "''", "back\\slash", "\\x41", "E'\\n'", "tab\tnew\nline\r",
    "-- not a comment", "/* nor this */", "%s and %% stay", "$$dollar$$", "\"quoted\"",
    "é ü ß 中文", "emoji 😀 𝄞", "\u2028\u2029", "x" * 1_000_000,
])
def test_text_round_trips_unchanged(select_one, text):
    assert select_one("SELECT %s::text", (text,)) == text


def test_text_with_nul_is_refused(driver, cur):
    with pytest.raises(driver.DataError, match="NUL"):
        cur.execute("SELECT %s", ("a\x00b",))


@pytest.mark.parametrize("number", [
    0, 1, -1, 2**31 - 1, -2**31, 2**63 - 1, -2**63, 2**63, -2**63 - 1, 10**40, -(10**40),
])
def test_int_round_trips_exactly(select_one, number):
    assert select_one("SELECT %s", (number,)) == number


def test_negative_number_after_minus_is_not_a_comment(select_one):
    assert select_one("SELECT 1-%s", (-1,)) == 2
    assert select_one("SELECT 1-%s", (-1.5,)) == Decimal("2.5")
    assert select_one("SELECT 1-%s", (Decimal("-2"),)) == 3


@pytest.mark.parametrize("number", [0.0, -0.5, 0.1, 1 / 3, 1e16, 1e-300, 1.7976931348623157e308, -2.5e-5,
                                    1.0, 12345678901234568.0, 5e-324, 2.0**-1074 * 3, 1e22, 123.456e-10])
def test_float_round_trips_at_full_precision(select_one, number):
    assert select_one("SELECT %s::float8", (number,)) == number
    assert select_one("SELECT %s::float8::text::float8", (number,)) == number


@pytest.mark.parametrize("number", [1.0, -3.0, 1e16, 12345678901234568.0])
def test_whole_float_is_no_integer_constant(select_one, number):
    assert select_one("SELECT pg_typeof(%s)::text", (number,)) == "numeric"


@pytest.mark.parametrize("number", [math.inf, -math.inf])
def test_float_infinities(select_one, number):
    assert select_one("SELECT %s", (number,)) == number


def test_float_nan(select_one):
    assert math.isnan(select_one("SELECT %s", (math.nan,)))


@pytest.mark.parametrize("number", ["1.10", "-0.000001", "123456789012345678901234567890.5", "1E+5", "0"])
def test_decimal_round_trips(select_one, number):
    assert select_one("SELECT %s", (Decimal(number),)) == Decimal(number)


@pytest.mark.parametrize("number", ["NaN", "Infinity", "-Infinity"])
def test_decimal_special_values(select_one, number):
    result = select_one("SELECT %s", (Decimal(number),))
    assert isinstance(result, Decimal) and str(result) == str(Decimal(number))


@pytest.mark.parametrize("value", [b"", b"\x00\x01'\\\xff", bytearray(b"ab"), memoryview(b"xyz"), bytes(range(256))])
def test_binary_round_trips(select_one, value):
    assert select_one("SELECT %s", (value,)) == bytes(value)


@pytest.mark.parametrize("value", [
    dt.date(2024, 2, 29), dt.date(1, 1, 1), dt.date(9999, 12, 31),
    dt.time(0, 0), dt.time(23, 59, 59, 999999),
    dt.time(12, 30, 15, 250, tzinfo=PLUS_0530),
    dt.datetime(2024, 5, 6, 7, 8, 9, 123456),
    dt.datetime(2024, 5, 6, 7, 8, 9, tzinfo=PLUS_0530),
    dt.datetime(1999, 12, 31, 23, 59, 59, tzinfo=UTC),
    dt.timedelta(0), dt.timedelta(days=3, seconds=5, microseconds=7), dt.timedelta(microseconds=-1),
    dt.timedelta(days=-400, hours=5),
    uuid.UUID("12345678-1234-5678-1234-567812345678"),
])
def test_temporal_and_uuid_round_trip(select_one, value):
    result = select_one("SELECT %s", (value,))
    assert result == value and type(result) is type(value)


def test_aware_datetime_keeps_its_instant(select_one):
    value = dt.datetime(2024, 1, 1, 12, tzinfo=PLUS_0530)
    assert select_one("SELECT %s AT TIME ZONE 'UTC'", (value,)) == dt.datetime(2024, 1, 1, 6, 30)


@pytest.mark.parametrize("value, cast", [
    ([1, 2, 3], "int[]"), ((1, 2), "int[]"), ([], "int[]"), ([[1, 2], [3, 4]], "int[]"),
    (["a", None, "it's", "{x,\"y\"}", "\\"], "text[]"), ([True, False], "bool[]"),
    ([1.5, None], "float8[]"), ([], "text[]"),
])
def test_lists_become_arrays(select_one, value, cast):
    assert select_one(f"SELECT %s::{cast}", (value,)) == list(value)


@pytest.mark.parametrize("value, expected", [(None, None), (True, True), (False, False)])
def test_null_and_booleans(select_one, value, expected):
    assert select_one("SELECT %s", (value,)) is expected


def test_placeholders_take_parameters_in_order_and_percent_percent_is_literal(select_one, cur):
    assert select_one("SELECT %s || '%%' || %s", ("a", "b")) == "a%b"
    cur.execute("SELECT %s, %s, %s", [1, "two", None])
    assert cur.fetchone() == (1, "two", None)


def test_percent_passes_through_without_parameters(select_one):
    assert select_one("SELECT '100%'") == "100%"
    assert select_one("SELECT 'a%%b'") == "a%%b"


@pytest.mark.parametrize("sql, params, message", [
    ("SELECT %s, %s", (1,), "2 placeholders but 1"),
    ("SELECT %s", (1, 2), "1 placeholders but 2"),
    ("SELECT 1", (1,), "0 placeholders but 1"),
    ("SELECT %d", (1,), "unsupported format character 'd'"),
    ("SELECT '100%'", (), "unsupported format character"),
    ("SELECT 1 %", (), "incomplete placeholder"),
    ("SELECT %s", ({"a": 1},), "can't adapt type 'dict'"),
    ("SELECT %s", (object(),), "can't adapt type 'object'"),
    ("SELECT %s", ([1, {2}],), "can't adapt type 'set'"),
    ("SELECT %s", "a", "must be a sequence"),
    ("SELECT %s", {"a": 1}, "can't be mixed"),
])
def test_rendering_errors_are_programming_errors(driver, cur, sql, params, message):
    with pytest.raises(driver.ProgrammingError, match=message):
        cur.execute(sql, params)


def test_rendering_error_sends_nothing(driver, cur, select_one):
    with pytest.raises(driver.ProgrammingError):
        cur.execute("CREATE TABLE never_created (a int); SELECT %s", (object(),))
    assert select_one("SELECT to_regclass('never_created')") is None


def test_many_parameters_in_one_text(cur):
    rows = [(i, f"name {i}'", i * 0.5, None) for i in range(25_000)]
    values = ",".join(["(%s,%s,%s,%s)"] * len(rows))
    cur.execute(f"SELECT count(*), sum(a), max(b) FROM (VALUES {values}) AS v(a, b, c, d)",
                [v for row in rows for v in row])
    assert cur.fetchone() == (25_000, sum(range(25_000)), "name 9999'")


def test_query_text_with_nul_is_refused_not_cut(driver, cur, select_one):
    with pytest.raises(driver.DataError, match="NUL"):
        cur.execute("SELECT 1\x00; CREATE TABLE never_created_either (a int)")
    assert select_one("SELECT to_regclass('never_created_either')") is None


def test_parameter_list_changed_by_rendering_is_safe(select_one):
    class ShrinkingZone(dt.tzinfo):
        def utcoffset(self, when):
            params.clear()
            return dt.timedelta(0)

    params = [dt.datetime(2024, 1, 1, tzinfo=ShrinkingZone()), "kept"]
    assert select_one("SELECT (%s = '2024-01-01 00:00:00+00'::timestamptz)::text || %s", params) == "truekept"
