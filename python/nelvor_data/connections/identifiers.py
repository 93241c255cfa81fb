from nelvor_data.connections.constants import INTERNAL_TABLE_SUFFIXES


def quote_identifier(name: str, separator: str = '"') -> str:
    """Quote an SQL identifier, doubling embedded separators so it cannot break out."""
    if not isinstance(name, str):
        raise TypeError(f"identifier must be text, not {type(name).__name__}")
    return separator + name.replace(separator, separator + separator) + separator


def is_internal_table(table_name: str) -> bool:
    """Historical tables that carry no versions and are never joined with the metadata."""
    return table_name.endswith(INTERNAL_TABLE_SUFFIXES)
