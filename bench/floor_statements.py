"""The statement file the floor program reads (its format is described in bench/floor/floor.cpp),
and the text form of each parameter for the floor's prepared mode."""
from __future__ import annotations

import struct
from decimal import Decimal
from pathlib import Path
from typing import Any, BinaryIO, Optional, Sequence

from bench.capture import Statement, StatementLog
from bench.peers.placeholders import numbered_placeholders

_PHASE_BYTES = {"setup": b"s", "timed": b"t", "finish": b"f"}
_NULL_LENGTH = 0xFFFFFFFF


def _array_element(value: Any) -> str:
    if value is None:
        return "NULL"
    if isinstance(value, (list, tuple)):
        return array_literal(value)
    text = text_parameter(value)
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def array_literal(items: Sequence[Any]) -> str:
    """A PostgreSQL array literal, every element quoted (valid for any element type)."""
    return "{" + ",".join(_array_element(item) for item in items) + "}"


def text_parameter(value: Any) -> Optional[str]:
    """The text a server would parse into `value` for a parameter of the right type (None: NULL)."""
    if value is None:
        return None
    if isinstance(value, bool):
        return "t" if value else "f"
    if isinstance(value, int):
        return str(int(value))  # an IntEnum's str() is its name
    if isinstance(value, float):
        return repr(value)  # round-trips; the server reads 'inf' and 'nan' too
    if isinstance(value, Decimal):
        return str(value)
    if isinstance(value, str):
        if "\x00" in value:
            raise ValueError("a text parameter cannot hold NUL")
        return value
    if isinstance(value, (bytes, bytearray, memoryview)):
        return "\\x" + bytes(value).hex()
    if isinstance(value, (list, tuple)):
        return array_literal(value)
    raise TypeError(f"the prepared floor has no text form for a {type(value).__name__} parameter")


def _text(out: BinaryIO, data: bytes) -> None:
    out.write(struct.pack("<I", len(data)))
    out.write(data)


def _parameters(out: BinaryIO, statement: Statement) -> None:
    numbered = numbered_placeholders(statement.template)  # also refuses any `%` but `%s` and `%%`
    placeholders = statement.template.replace("%%", "").count("%s")
    if placeholders != len(statement.params):
        raise ValueError(f"{len(statement.params)} parameters for {placeholders} placeholders in "
                         f"{statement.template[:80]!r}")
    texts = [text_parameter(value) for value in statement.params]
    out.write(struct.pack("<I", len(texts)))
    _text(out, numbered.encode("utf-8"))
    for text in texts:
        if text is None:
            out.write(struct.pack("<I", _NULL_LENGTH))
        else:
            _text(out, text.encode("utf-8"))


def write_statement_file(log: StatementLog, path: Path, with_parameters: bool = False) -> None:
    """Every statement of `log` with the text our driver sent; with `with_parameters`, the timed
    statements that had parameters also carry their `$n` text and the parameters' text forms."""
    with open(path, "wb") as out:
        for phase, statements in log.phases():
            for statement in statements:
                out.write(_PHASE_BYTES[phase])
                _text(out, statement.rendered)
                if with_parameters and phase == "timed" and statement.params:
                    _parameters(out, statement)
                else:
                    out.write(struct.pack("<I", 0))
