"""Server values of each type decoded into Python objects."""
import datetime as dt
import json
import math
import uuid
from decimal import Decimal

import pytest

UTC = dt.timezone.utc


@pytest.mark.parametrize("sql, expected", [
    ("true", True), ("false", False),
    ("32767::int2", 32767), ("'-2147483648'::int4", -2147483648),
    ("9223372036854775807::int8", 2**63 - 1), ("'-9223372036854775808'::int8", -2**63), ("4294967295::oid", 4294967295),
    ("1.5::float4", 1.5), ("-0.1::float8", -0.1), ("'Infinity'::float8", math.inf), ("'-Infinity'::float4", -math.inf),
    ("12.340::numeric", Decimal("12.340")), ("'-1e-20'::numeric", Decimal("-1e-20")),
    ("'a b'::text", "a b"), ("'x'::varchar(3)", "x"), ("'ab'::char(4)", "ab  "), ("'nm'::name", "nm"),
    ("'q'::\"char\"", "q"), ("'é😀'::text", "é😀"), ("'unknown'", "unknown"),
    ("'\\x00ff41'::bytea", b"\x00\xffA"), ("''::bytea", b""),
    ("'2024-02-29'::date", dt.date(2024, 2, 29)), ("'0001-01-01'::date", dt.date(1, 1, 1)),
    ("'13:14:15.000016'::time", dt.time(13, 14, 15, 16)),
    ("'13:14:15-02:30'::timetz", dt.time(13, 14, 15, tzinfo=dt.timezone(-dt.timedelta(hours=2, minutes=30)))),
    ("'2024-01-02 03:04:05.5'::timestamp", dt.datetime(2024, 1, 2, 3, 4, 5, 500000)),
    ("'2024-01-02 03:04:05+00'::timestamptz", dt.datetime(2024, 1, 2, 3, 4, 5, tzinfo=UTC)),
    ("'1 day 02:03:04.5'::interval", dt.timedelta(days=1, seconds=7384.5)),
    ("'-1 days'::interval", dt.timedelta(days=-1)),
    ("'-00:00:01.25'::interval", dt.timedelta(seconds=-1.25)),
    ("'3 mons'::interval", dt.timedelta(days=90)),
    ("'1 year -2 days +100:00:00'::interval", dt.timedelta(days=363, hours=100)),
    ("'12345678-1234-5678-1234-567812345678'::uuid", uuid.UUID("12345678-1234-5678-1234-567812345678")),
    ("NULL::int", None), ("NULL::jsonb", None),
    ("'(1,2)'::point", "(1,2)"), ("'10.0.0.1'::inet", "10.0.0.1"),
    ("'infinity'::date", "infinity"), ("'2000-01-01 BC'::date", "2000-01-01 BC"),
    ("'-infinity'::timestamptz", "-infinity"), ("'24:00:00'::time", "24:00:00"),
])
def test_scalar_types(select_one, sql, expected):
    result = select_one(f"SELECT {sql}")
    assert result == expected and type(result) is type(expected)


def test_timestamptz_follows_session_timezone(cur):
    cur.execute("SET TimeZone TO 'Asia/Kolkata'")
    cur.execute("SELECT '2024-01-02 03:04:05+00'::timestamptz")
    (value,) = cur.fetchone()
    assert value.utcoffset() == dt.timedelta(hours=5, minutes=30)
    assert value == dt.datetime(2024, 1, 2, 3, 4, 5, tzinfo=UTC)


def test_float_nan(select_one):
    assert math.isnan(select_one("SELECT 'NaN'::float8"))


@pytest.mark.parametrize("sql, expected", [
    ("'{1,2,NULL}'::int4[]", [1, 2, None]), ("'{}'::int8[]", []), ("'{{1,2},{3,4}}'::int[]", [[1, 2], [3, 4]]),
    ("ARRAY['a', 'b c', 'q\"t', 'back\\slash', 'NULL', '', NULL]",
     ["a", "b c", 'q"t', "back\\slash", "NULL", "", None]),
    ("'{t,f}'::bool[]", [True, False]), ("'{1.5,NaN}'::numeric[]", [Decimal("1.5"), Decimal("NaN")]),
    ("ARRAY['{\"a\": [1, \"x,}\"]}'::json, 'null']", [{"a": [1, "x,}"]}, None]),
    ("ARRAY['[1]'::jsonb]", [[1]]),
    ("ARRAY['12345678-1234-5678-1234-567812345678'::uuid]", [uuid.UUID("12345678-1234-5678-1234-567812345678")]),
    ("ARRAY['x'::varchar]", ["x"]), ("ARRAY[2.5::float8]", [2.5]),
    ("ARRAY['2024-01-02'::date]", [dt.date(2024, 1, 2)]),
    ("'[0:1]={7,8}'::int[]", [7, 8]),
])
def test_arrays(select_one, sql, expected):
    result = select_one(f"SELECT {sql}")
    if expected and isinstance(expected[-1], Decimal):
        assert result[0] == expected[0] and result[1].is_nan()
    else:
        assert result == expected


@pytest.mark.parametrize("cast", ["json", "jsonb"])
def test_json_decodes_like_python_json(select_one, cast):
    text = ('{"s": "é\\u00e9😀\\ud83d\\ude00\\n", "i": -12, "big": 123456789012345678901234567890, '
            '"f": 1.5e300, "x": 0.1, "e": 1E2, "t": true, "n": null, "l": [[], {}, [1, [2]]], "u": "\\"q\\""}')
    decoded = select_one(f"SELECT %s::{cast}", (text,))
    assert decoded == json.loads(select_one(f"SELECT %s::{cast}::text", (text,)))
    assert decoded["s"] == "éé😀😀\n" and decoded["big"] == 123456789012345678901234567890
    assert decoded["x"] == 0.1 and decoded["l"] == [[], {}, [1, [2]]] and decoded["u"] == '"q"'


@pytest.mark.parametrize("text, expected", [("1", 1), ('"s"', "s"), ("null", None), ("[]", []), ("2.50", 2.5)])
def test_json_scalars(select_one, text, expected):
    result = select_one("SELECT %s::json", (text,))
    assert result == expected and type(result) is type(expected)


@pytest.mark.parametrize("text", [
    "-0", "-0.0", "0e5", "1e400", "-1e400", "1e-400", "18446744073709551615", "18446744073709551616",
    "-9223372036854775808", "-9223372036854775809", "123456789012345678901234567890.5", '"\\ud800"',
    '"\\udc00 low"', '{"k": 1, "k": 2}', '{"": [{"": {}}]}', '"\\u0000 nul"', "  [1 , 2 ]  ",
])
def test_json_edge_values_decode_as_json_loads_does(select_one, text):
    result = select_one("SELECT %s::json", (text,))
    expected = json.loads(text)
    assert result == expected and type(result) is type(expected)
    if isinstance(expected, float):
        assert repr(result) == repr(expected)


def test_deeply_nested_json(select_one):
    depth = 5000
    value = select_one("SELECT %s::jsonb", ("[" * depth + "]" * depth,))
    for _ in range(depth - 1):
        value = value[0]
    assert value == []


def test_long_strings_with_escapes_and_a_large_document(select_one):
    # Escapes at every offset of a 16-byte block, in strings read in blocks.
    strings = ["x" * offset + '\\"\n\u00e9' + "y" * (40 - offset) for offset in range(33)]
    assert select_one("SELECT %s::json", (json.dumps(strings),)) == strings
    large = {"k%d" % i: "v" * 100 + '"' + str(i) for i in range(20000)}  # about 2.5 MB
    assert select_one("SELECT %s::json", (json.dumps(large),)) == large
    assert select_one("SELECT %s::json", ('{"after": ["large"]}',)) == {"after": ["large"]}


def test_many_json_rows(cur):
    cur.execute("SELECT i, json_build_object('id', i, 'tags', json_build_array('a', i)) "
                "FROM generate_series(1, 50000) AS i")
    rows = cur.fetchall()
    assert len(rows) == 50000
    assert rows[-1] == (50000, {"id": 50000, "tags": ["a", 50000]})


def test_decoded_objects_left_to_the_collector_still_collect_cycles(conn):
    """Rows and JSON objects holding only plain values are not tracked by the cyclic
    collector (as CPython does itself); putting a container in tracks them again."""
    import gc
    import weakref

    class Marker:
        pass

    cur = conn.cursor()
    cur.execute("""SELECT '{"a": {"b": 1}, "c": "d"}'::json""")
    ((document,),) = cur.fetchall()
    cur.close()
    assert not gc.is_tracked(document) and not gc.is_tracked(document["a"])
    # A list is always tracked, and so is every dict on the way down to one.
    cur = conn.cursor()
    cur.execute("""SELECT '{"plain": {"b": 1}, "deep": {"m": {"k": [{"z": null}]}}}'::json""")
    ((nested,),) = cur.fetchall()
    assert gc.is_tracked(nested) and not gc.is_tracked(nested["plain"])
    assert gc.is_tracked(nested["deep"]) and gc.is_tracked(nested["deep"]["m"])
    assert gc.is_tracked(nested["deep"]["m"]["k"]) and not gc.is_tracked(nested["deep"]["m"]["k"][0])
    marker = Marker()
    document["self"] = document
    document["marker"] = marker
    assert gc.is_tracked(document)
    alive = weakref.ref(marker)
    del document, marker
    gc.collect()
    assert alive() is None
