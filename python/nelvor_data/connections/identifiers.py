from nelvor_data.connections.constants import INTERNAL_TABLE_SUFFIXES


def quote_identifier(name: str, separator: str = '"') -> str:
    """Quote an SQL identifier, doubling embedded separators so it cannot break out.

    Percent signs are doubled too: statement texts go through %s parameter
    rendering, which turns %% back into one percent sign."""
    if not isinstance(name, str):
        raise TypeError(f"identifier must be text, not {type(name).__name__}")
    escaped = name.replace(separator, separator + separator).replace("%", "%%")
    return separator + escaped + separator


def is_internal_table(table_name: str) -> bool:
    """Historical tables that carry no versions and are never joined with the metadata."""
    return table_name.endswith(INTERNAL_TABLE_SUFFIXES)
