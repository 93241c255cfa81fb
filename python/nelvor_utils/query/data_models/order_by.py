from dataclasses import dataclass


@dataclass
class OrderBy:
    """One ordering key; ``field_name`` may walk into nested values with "__"."""

    field_name: str
    desc: bool = False
