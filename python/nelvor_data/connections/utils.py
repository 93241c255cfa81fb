"""Ordering of records in memory, agreeing with how PostgreSQL orders them."""
from datetime import date, datetime, time, timedelta
from decimal import Decimal
from typing import Any, Iterable, List, Optional, Sequence

_MISSING = object()
_NUMBERS = (bool, int, float, Decimal)
_TEMPORAL = (datetime, date, time, timedelta)


def _field_value(item: Any, field_name: str) -> Any:
    """The value under ``field_name``; "__" walks into nested maps. Missing gives None."""
    if isinstance(item, dict) and field_name in item:
        return item[field_name]
    current = item
    for segment in field_name.split("__"):
        if isinstance(current, dict):
            current = current.get(segment, _MISSING)
        else:
            current = getattr(current, segment, _MISSING)
        if current is _MISSING or current is None:
            return None
    return current


class _SortKey:
    """Orders values of one kind naturally; values of different kinds by kind, never raising."""

    __slots__ = ("rank", "value")

    def __init__(self, value: Any) -> None:
        if isinstance(value, _NUMBERS):
            self.rank, self.value = 0, value
        elif isinstance(value, str):
            self.rank, self.value = 1, value
        elif isinstance(value, _TEMPORAL):
            self.rank, self.value = 2, value
        else:
            self.rank, self.value = 3, value

    def __lt__(self, other: "_SortKey") -> bool:
        if self.rank != other.rank:
            return self.rank < other.rank
        try:
            return bool(self.value < other.value)
        except TypeError:
            # Incomparable values of one kind (a dict and a list, naive and aware times).
            return (type(self.value).__name__, repr(self.value)) < (type(other.value).__name__, repr(other.value))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, _SortKey) and not self < other and not other < self


def _key_for(field_name: str):
    def key(item: Any):
        value = _field_value(item, field_name)
        # None sorts after every value: last ascending, first descending, as in PostgreSQL.
        return (1, None) if value is None else (0, _SortKey(value))
    return key


def sort_items(items: Iterable[Any], order_by: Optional[Sequence] = None) -> List[Any]:
    """A new list of ``items`` ordered by each ``OrderBy`` in turn; unchanged order without one."""
    result = list(items)
    for item in reversed(list(order_by or ())):
        result.sort(key=_key_for(item.field_name), reverse=bool(item.desc))
    return result
