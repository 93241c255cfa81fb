"""A multi-row INSERT of placeholder rows, as the bulk writes send it, taken apart into
its table, columns and rows, so that a peer can write the same rows its own bulk way."""
from __future__ import annotations

import re
from dataclasses import dataclass
from typing import Any, List, Optional, Sequence, Tuple

from bench.capture import Statement

_INSERT = re.compile(r'INSERT INTO (?P<table>"(?:[^"]|"")+"|\w+) \((?P<columns>[^)]*)\) VALUES (?P<rows>\(.*\))$',
                     re.S)


@dataclass(frozen=True)
class BulkRows:
    table: str  # as written, quoted
    columns: Tuple[str, ...]  # as written, quoted
    rows: List[Tuple[Any, ...]]

    @property
    def bare_table(self) -> str:
        return _unquote(self.table)

    @property
    def bare_columns(self) -> List[str]:
        return [_unquote(column) for column in self.columns]

    def single_row_insert(self, placeholder: str) -> str:
        """One row's INSERT, with `placeholder(n)` for the n-th (1-based) value."""
        values = ", ".join(placeholder(n) for n in range(1, len(self.columns) + 1))
        return f"INSERT INTO {self.table} ({', '.join(self.columns)}) VALUES ({values})"


def _unquote(name: str) -> str:
    return name[1:-1].replace('""', '"') if name.startswith('"') else name


def bulk_rows(statement: Statement, least_rows: int = 2) -> Optional[BulkRows]:
    """The rows of `statement` when it is such an INSERT of at least `least_rows` rows."""
    params: Optional[Sequence[Any]] = statement.params
    if not params or not statement.template.startswith("INSERT INTO "):
        return None
    match = _INSERT.match(statement.template)
    if match is None:
        return None
    columns = tuple(part.strip() for part in match.group("columns").split(","))
    width = len(columns)
    row = "(" + ", ".join(["%s"] * width) + ")"
    count = len(params) // width
    if count < least_rows or len(params) != count * width or match.group("rows") != ", ".join([row] * count):
        return None
    return BulkRows(match.group("table"), columns, [tuple(params[i:i + width]) for i in range(0, len(params), width)])
