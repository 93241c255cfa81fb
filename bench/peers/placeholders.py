"""`%s` templates (format paramstyle) to PostgreSQL's numbered `$n` placeholders."""
from __future__ import annotations


def numbered_placeholders(template: str) -> str:
    """`%s` becomes `$1`, `$2`... in order and `%%` a single `%`. Any other `%`
    sequence is an error, as it would be for the format-style drivers."""
    out = []
    number = 0
    index = 0
    length = len(template)
    while index < length:
        char = template[index]
        if char != "%":
            out.append(char)
            index += 1
            continue
        following = template[index + 1:index + 2]
        if following == "s":
            number += 1
            out.append(f"${number}")
        elif following == "%":
            out.append("%")
        else:
            raise ValueError(f"unsupported placeholder %{following} at {index}")
        index += 2
    return "".join(out)
