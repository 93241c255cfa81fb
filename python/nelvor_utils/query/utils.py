"""Condition trees built from Django-style keyword lookups."""
import json
from typing import Any, List, Tuple, Union

from nelvor_utils.query.enums import Lookup

LOOKUP_SEPARATOR = "__"

Leaf = Tuple[str, Any]


def split_lookup(key: str) -> Tuple[List[str], Lookup]:
    """Split ``data__city__icontains`` into (["data", "city"], Lookup.ICONTAINS).

    A last segment that names no lookup is part of the path and the lookup is EQ.
    A bare name is always a field, so a field may itself be called "in" or "gt".
    """
    segments = key.split(LOOKUP_SEPARATOR)
    lookup = Lookup.from_name(segments[-1]) if len(segments) > 1 else None
    if lookup is None:
        return segments, Lookup.EQ
    return segments[:-1], lookup


def _normalise(key: str, value: Any) -> Any:
    # The IN operator expects the JSON text of a list; accept Python collections as well.
    _, lookup = split_lookup(key)
    if lookup is Lookup.IN and isinstance(value, (list, tuple, set, frozenset)):
        return json.dumps(list(value))
    return value


class Q:
    """A node of a condition tree: leaves (key, value) and sub-trees joined by AND or OR."""

    AND = "AND"
    OR = "OR"

    def __init__(self, *children: Union["Q", Leaf], _connector: str = AND, _negated: bool = False,
                 **lookups: Any) -> None:
        if _connector not in (self.AND, self.OR):
            raise ValueError(f"Unknown connector {_connector!r}")
        for key in lookups:
            if not key or any(not part for part in key.split(LOOKUP_SEPARATOR)):
                raise ValueError(f"Malformed lookup keyword {key!r}")
        self.children: List[Union["Q", Leaf]] = list(children) + [
            (key, _normalise(key, value)) for key, value in lookups.items()]
        self.connector = _connector
        self.negated = _negated

    def _combine(self, other: "Q", connector: str) -> "Q":
        if not isinstance(other, Q):
            return NotImplemented
        if not other:
            return self.copy()
        if not self:
            return other.copy()
        return Q(self.copy(), other.copy(), _connector=connector)

    def __and__(self, other: "Q") -> "Q":
        return self._combine(other, self.AND)

    def __or__(self, other: "Q") -> "Q":
        return self._combine(other, self.OR)

    def __invert__(self) -> "Q":
        inverted = self.copy()
        inverted.negated = not self.negated
        return inverted

    def copy(self) -> "Q":
        children = [child.copy() if isinstance(child, Q) else child for child in self.children]
        return Q(*children, _connector=self.connector, _negated=self.negated)

    def __bool__(self) -> bool:
        return bool(self.children)

    def __len__(self) -> int:
        return len(self.children)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Q):
            return NotImplemented
        return (self.connector, self.negated, self.children) == (
            other.connector, other.negated, other.children)

    __hash__ = None  # mutable tree

    def __repr__(self) -> str:
        inner = f" {self.connector} ".join(
            repr(child) if isinstance(child, Q) else f"{child[0]}={child[1]!r}" for child in self.children)
        text = f"({inner})"
        return f"<Q: NOT {text}>" if self.negated else f"<Q: {text}>"
