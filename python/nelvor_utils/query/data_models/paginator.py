from dataclasses import dataclass
from typing import Optional


@dataclass
class NumberPaginator:
    """Page by position: skip ``offset`` records, return at most ``limit``."""

    limit: Optional[int] = None
    offset: Optional[int] = None


@dataclass
class CursorPaginator:
    """Page by an opaque cursor (not supported by the SQL stores)."""

    cursor: Optional[str] = None
    limit: Optional[int] = None
