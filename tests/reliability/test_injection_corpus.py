"""Hostile texts used as values, record keys, nested JSON path segments, ordering
fields and LIKE patterns: each is stored or compared as data or refused with an
error, and the database catalog stays exactly as it was."""
import json

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.query.data_models.order_by import OrderBy
from nelvor_utils.query.utils import Q
from store_sides import SIDES

PAYLOADS = [
    # quote breaking
    "'", "''", "' OR '1'='1", "'; DROP TABLE victim; --", "'); DROP TABLE victim; --",
    '"', '"; DROP TABLE victim; --', 'x"); DROP TABLE victim; --', "`; DROP TABLE victim; `",
    # comment starters and stacked statements
    "--", "-- DROP TABLE victim", "/*", "*/ DROP TABLE victim; /*", ";", "; DROP ROLE victim_role",
    "ROLLBACK; DROP TABLE victim; BEGIN", "COMMIT; DROP TABLE victim",
    # dollar quoting
    "$$", "$$; DROP TABLE victim; $$", "$q$ DROP TABLE victim $q$", "$1", "$0$",
    # backslash escapes
    "\\", "\\'", "\\\\'; DROP TABLE victim; --", "E'\\x27; DROP TABLE victim; --'", "\\x27", "\\u0027",
    # Unicode look-alikes of quotes and semicolons
    "\u02bc OR 1=1 --", "\uff07; DROP TABLE victim; --", "\uff02; DROP TABLE victim; --", "\u2018\u2019\u201c\u201d",
    "\u037e DROP TABLE victim", "\u2019 OR \u2019\u2019=\u2019",
    # percent signs, placeholders and wildcards
    "%", "%%", "%s", "%(name)s", "100%", "_", "a_b", "{field_name}", "{value}", "{0}",
    # separators, controls, NUL
    "__", "a__b", "\n; DROP TABLE victim", "\r\n", "\t", "\x1a", "\x7f", "\x00'; DROP TABLE victim; --",
    # texts that look like other kinds of values
    "null", "NULL", "true", "{}", "[]", "1; SELECT pg_sleep(10)", ":name", "?",
]
# A payload that LIKE reads literally (the lookups do not escape wildcards).
LIKE_SPECIAL = ("%", "_", "\\")

CATALOG_SNAPSHOT = """
SELECT string_agg(line, E'\\n' ORDER BY line) FROM (
    SELECT format('class %s.%s %s', n.nspname, c.relname, c.relkind) AS line
    FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
    UNION ALL
    SELECT format('column %s %s %s %s', a.attrelid::regclass, a.attnum, a.attname, format_type(a.atttypid, a.atttypmod))
    FROM pg_attribute a WHERE a.attnum > 0 AND NOT a.attisdropped
    UNION ALL
    SELECT format('role %s %s %s', rolname, rolsuper, rolcanlogin) FROM pg_roles
    UNION ALL
    SELECT format('victim %s', v) FROM victim
) lines
"""


@pytest.fixture(scope="module")
def sides(database, admin_sql):
    admin_sql("CREATE TABLE victim (v text); INSERT INTO victim VALUES ('intact')")
    admin_sql("DO $$ BEGIN CREATE ROLE victim_role; EXCEPTION WHEN duplicate_object THEN NULL; END $$")
    opened = {kind: side_class(f"Corpus{kind}", is_revert_supported=False) for kind, side_class in SIDES.items()}
    yield opened
    for side in opened.values():
        side.close()


@pytest.fixture(scope="module")
def catalog(sides, admin_sql):
    """The catalog as it stands once the tables exist; compared after every payload."""
    return admin_sql(CATALOG_SNAPSHOT)


def stored_or_refused(action):
    """Runs action; None when it was refused with the connection error, or when the
    framework's query model refused the lookup keyword itself, else its result."""
    try:
        return action()
    except NelvorConnectionError as error:
        assert error.__cause__ is not None
        return None
    except ValueError as error:
        assert "Malformed lookup keyword" in str(error)
        return None


@pytest.mark.parametrize("kind", sorted(SIDES))
@pytest.mark.parametrize("payload", PAYLOADS)
def test_payload_is_data_everywhere(sides, catalog, admin_sql, kind, payload):
    side = sides[kind]
    object_id = f"{kind}-{PAYLOADS.index(payload)}"
    record = {"t": payload, "j": {payload: payload, "list": [payload]}, payload: "a field without a column"}

    if "\x00" in payload:
        with pytest.raises(NelvorConnectionError):
            side.write(object_id, record)
        assert side.read(object_id) == []
    else:
        side.write(object_id, record)
        assert side.read(object_id) == [{"t": payload, "i": None, "f": None, "b": None, "n": None,
                                         "j": {payload: payload, "list": [payload]}}]
    everyone = {r["partition_key"] for r in side.query()}

    def found(conditions=lambda: None, order_by=None):
        records = stored_or_refused(lambda: side.query(conditions=conditions(), order_by=order_by))
        if records is not None:
            assert {r["partition_key"] for r in records} <= everyone
            return {r["partition_key"] for r in records}
        return None

    # A nested path segment: it names a key of the JSON value, or the query fails.
    matched = found(conditions=lambda: Q(**{f"j__{payload}": payload}))
    if "\x00" not in payload and "__" not in payload and not payload.startswith('"') and not payload.endswith('"'):
        assert matched is not None and object_id in matched
    # As an ordering field (plain and nested) it orders or fails; it never filters.
    for field in (payload, f"j__{payload}"):
        ordered = found(order_by=[OrderBy(field)])
        assert ordered in (None, everyone)
    # As a LIKE pattern, or an IN list member, it is compared as data.
    for lookup in ("contains", "icontains", "startswith", "istartswith", "endswith", "iendswith", "in"):
        value = json.dumps([payload]) if lookup == "in" else payload
        matched = found(conditions=lambda: Q(**{f"t__{lookup}": value}))
        literal = lookup == "in" or not any(special in payload for special in LIKE_SPECIAL)
        if literal and "\x00" not in payload:
            assert matched is not None and object_id in matched, lookup

    assert admin_sql(CATALOG_SNAPSHOT) == catalog
