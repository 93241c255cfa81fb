"""Values at the edges of what the server accepts: json documents RapidJSON refuses but
the server stores, and Decimal, UUID and date/time subclasses whose text is not their value."""
import datetime as dt
import json
import uuid
from decimal import Decimal

import pytest


@pytest.fixture(params=[None, 0], ids=["literal", "prepared"])
def select_value(request, connect_with):
    cur = connect_with(request.param).cursor()

    def run(sql, params=None):
        cur.execute(sql, params)
        (value,) = cur.fetchone()
        return value
    return run


@pytest.mark.parametrize("cast", ["json", "jsonb"])
@pytest.mark.parametrize("document", [
    "1" + "0" * 400, "-" + "9" * 500, '{"n": 1' + "0" * 400 + "}",
    "1e400", "-1e400", "[1E+999, 1e-999, 2.5e308]",
    '"\\ud800"', '"a\\udc00b"', '{"\\ud83d": ["\\ud83d\\ud83d", "\\ude00\\ud83d"]}',
    '["fast", 1, {"x": 1' + "0" * 30 + '}]',
])
def test_json_the_server_accepts_decodes_like_json_loads(select_value, cast, document):
    try:
        served = select_value(f"SELECT %s::{cast}::text", (document,))
    except Exception as error:  # jsonb refuses some of json's documents; nothing to read then
        pytest.skip(f"the server refuses {cast}: {error}")
    decoded = select_value(f"SELECT %s::{cast}", (document,))
    expected = json.loads(served)
    assert decoded == expected and repr(decoded) == repr(expected)


def test_json_the_server_refuses_stays_an_error(driver, select_value):
    with pytest.raises(driver.DataError):
        select_value("SELECT %s::json", ("[1,",))


class Shouting(Decimal):
    def __str__(self):
        return "1) OR (1=1"


class Forged(uuid.UUID):
    def __str__(self):
        return "x'::uuid; SELECT 1; --"


def test_decimal_subclass_is_written_as_its_value(select_value):
    assert select_value("SELECT %s", (Shouting("12.50"),)) == Decimal("12.50")
    assert select_value("SELECT %s = ANY(%s)", (Shouting(2), [Shouting(1), Shouting(2)])) is True
    assert Decimal(select_value("SELECT (%s)::text", (Shouting("-1E+400"),))) == Decimal("-1E+400")


class Pretending(Decimal):
    def is_finite(self):
        return not super().is_finite()

    def is_nan(self):
        return True


@pytest.mark.parametrize("value", [Pretending("3.25"), Pretending("-Infinity"), Pretending("NaN")])
def test_decimal_subclass_flags_do_not_change_the_value(select_value, value):
    got = select_value("SELECT %s", (value,))
    assert (got.is_nan() and value.as_tuple().exponent == "n") or got == Decimal(value)


def test_uuid_subclass_is_written_as_its_value(select_value):
    value = Forged(int=5)
    assert select_value("SELECT %s", (value,)) == uuid.UUID(int=5)


def test_uuid_subclass_with_forged_fields_is_refused(driver, select_value):
    value = Forged(int=5)
    object.__setattr__(value, "int", 1 << 200)  # formats to more than 32 hex digits
    with pytest.raises(driver.DataError):
        select_value("SELECT %s", (value,))


class LateDate(dt.date):
    def isoformat(self):
        return "2024-01-01'::date; SELECT 'forged"


class LateDatetime(dt.datetime):
    def isoformat(self, *args):
        return "2024-01-01 00:00'::timestamp) OR (1=1"


class LateTime(dt.time):
    def isoformat(self, *args):
        return "x') OR (1=1"


@pytest.mark.parametrize("value", [
    LateDate(2024, 5, 6), LateDatetime(2024, 5, 6, 7, 8, 9, 10),
    LateDatetime(2024, 5, 6, 7, 8, tzinfo=dt.timezone(dt.timedelta(hours=2))), LateTime(7, 8, 9, 10),
])
def test_temporal_subclass_is_written_as_its_value(select_value, value):
    assert select_value("SELECT %s", (value,)) == value
