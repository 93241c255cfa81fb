"""Runs statements with ``%s`` parameters on the dev server through the psql client.

Parameters are rendered as SQL literals here (tests only); results come back as text.
"""
import csv
import io
import json
import subprocess
from enum import Enum

NULL_MARK = "<<NULL>>"
# Server, user and password come from the PGHOST & co. that the test session sets.
PSQL_BASE = ["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1"]


class PsqlError(Exception):
    pass


def literal(value) -> str:
    if value is None:
        return "NULL"
    if isinstance(value, Enum):
        value = value.value
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, (int, float)):
        return repr(value)
    if isinstance(value, (list, tuple)):
        return "ARRAY[" + ", ".join(literal(item) for item in value) + "]"
    if isinstance(value, dict):
        value = json.dumps(value)
    return "'" + str(value).replace("'", "''") + "'"


def render(statement: str, params) -> str:
    pieces = statement.split("%s")
    if len(pieces) - 1 != len(params):
        raise PsqlError(f"{len(pieces) - 1} placeholders but {len(params)} parameters: {statement}")
    out = [pieces[0]]
    for value, piece in zip(params, pieces[1:]):
        out += [literal(value), piece]
    return "".join(out)


def run_psql(database: str, sql: str) -> str:
    done = subprocess.run(PSQL_BASE + ["-d", database, "--csv", "-P", f"null={NULL_MARK}", "-c", sql],
                          capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        raise PsqlError(done.stderr.strip() + "\n" + sql)
    return done.stdout


class PsqlCursor:
    """Just the cursor surface the statement code reads: rows and column names."""

    def __init__(self, output: str) -> None:
        rows = list(csv.reader(io.StringIO(output)))
        self.description = [(name,) for name in rows[0]] if rows else None
        self._rows = [tuple(None if cell == NULL_MARK else cell for cell in row) for row in rows[1:]]

    def fetchall(self):
        rows, self._rows = self._rows, []
        return rows

    def fetchone(self):
        return self._rows.pop(0) if self._rows else None


def execute(database: str, statement: str, *params) -> PsqlCursor:
    return PsqlCursor(run_psql(database, render(statement, params)))
