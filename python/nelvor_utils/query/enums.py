from enum import Enum


class Lookup(str, Enum):
    """Comparison named by the last segment of a query keyword (``age__gt``)."""

    EQ = "eq"
    NEQ = "neq"
    GT = "gt"
    GTE = "gte"
    LT = "lt"
    LTE = "lte"
    IN = "in"
    CONTAINS = "contains"
    ICONTAINS = "icontains"
    STARTSWITH = "startswith"
    ISTARTSWITH = "istartswith"
    ENDSWITH = "endswith"
    IENDSWITH = "iendswith"
    ISNULL = "isnull"

    @classmethod
    def from_name(cls, name: str):
        """The lookup spelled ``name`` (lower case), or None when it names none."""
        return _BY_VALUE.get(name)


_BY_VALUE = {member.value: member for member in Lookup}
