"""PEP 249 module globals shared by both extension modules: the type objects
that compare equal to a description's type codes (PostgreSQL type OIDs), the
value constructors, and psycopg2's connection status constants."""
import collections
import datetime
import time

# An item of cursor.description: indexes like the 7-tuple PEP 249 describes.
Column = collections.namedtuple(
    "Column", ["name", "type_code", "display_size", "internal_size", "precision", "scale", "null_ok"])


class TypeObject:
    """Equal to each type code (OID) of its group, as PEP 249 asks."""

    def __init__(self, name, oids):
        self.name = name
        self.values = frozenset(oids)

    def __eq__(self, other):
        if isinstance(other, TypeObject):
            return self.values == other.values
        return other in self.values

    def __ne__(self, other):
        return not self == other

    def __hash__(self):
        return hash(self.values)

    def __repr__(self):
        return f"<TypeObject {self.name}>"


# char, name, text, bpchar, varchar
STRING = TypeObject("STRING", (18, 19, 25, 1042, 1043))
# bytea
BINARY = TypeObject("BINARY", (17,))
# int8, int2, int4, oid, float4, float8, money, numeric
NUMBER = TypeObject("NUMBER", (20, 21, 23, 26, 700, 701, 790, 1700))
# date, time, timestamp, timestamptz, interval, timetz
DATETIME = TypeObject("DATETIME", (1082, 1083, 1114, 1184, 1186, 1266))
# oid
ROWID = TypeObject("ROWID", (26,))

Date = datetime.date
Time = datetime.time
Timestamp = datetime.datetime


def DateFromTicks(ticks):  # noqa: N802 - the name PEP 249 gives it
    """The local date of a time.time() value."""
    return Date(*time.localtime(ticks)[:3])


def TimeFromTicks(ticks):  # noqa: N802
    """The local time of day of a time.time() value."""
    return Time(*time.localtime(ticks)[3:6])


def TimestampFromTicks(ticks):  # noqa: N802
    """The local date and time of a time.time() value."""
    return Timestamp(*time.localtime(ticks)[:6])


def Binary(value):  # noqa: N802
    """The value as bytes, which the driver sends as bytea."""
    return bytes(value)


# connection.status
STATUS_READY = 1
STATUS_BEGIN = 2

__all__ = [
    "Column", "STRING", "BINARY", "NUMBER", "DATETIME", "ROWID", "Date", "Time", "Timestamp", "DateFromTicks",
    "TimeFromTicks", "TimestampFromTicks", "Binary", "STATUS_READY", "STATUS_BEGIN",
]
