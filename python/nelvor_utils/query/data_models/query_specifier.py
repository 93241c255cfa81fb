from dataclasses import dataclass, field
from typing import Collection, List, Optional


@dataclass
class QuerySpecifier:
    """Which fields a query returns (``only``) and which of them are selected distinct."""

    only: Optional[List[str]] = None
    distinct: Collection[str] = field(default_factory=tuple)
