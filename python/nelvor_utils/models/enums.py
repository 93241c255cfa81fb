from enum import Enum


class Versions(str, Enum):
    """Symbolic versions usable wherever a class or object version is expected."""

    LATEST = "latest"
    ALL = "all"

    def __str__(self) -> str:
        # Table names and messages are built from versions; the plain value reads right there.
        return self.value

    def __format__(self, format_spec: str) -> str:
        return format(self.value, format_spec)
