#!/usr/bin/env python3
"""Prints the requirements pyproject.toml names, one per line, for pip.

python scripts/requirements.py build test   -> the build-system's and the `test` extra's
python scripts/requirements.py --pyproject python/pyproject.toml build   -> another project's
"""
import re
import sys
from pathlib import Path

PYPROJECT = Path(__file__).resolve().parent.parent / "pyproject.toml"


def load(text: str) -> dict:
    try:
        import tomllib
    except ModuleNotFoundError:  # Python 3.10: only the two tables read here
        def table(name):
            found = re.search(rf"^\[{re.escape(name)}\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S)
            return found.group(1) if found else ""

        def lists(body):
            return {key: re.findall(r'"([^"]+)"', items)
                    for key, items in re.findall(r"^(\w[\w-]*)\s*=\s*\[(.*?)\]\s*$", body, re.M | re.S)}
        return {"build-system": lists(table("build-system")),
                "project": {"optional-dependencies": lists(table("project.optional-dependencies"))}}
    return tomllib.loads(text)


def main(groups: list) -> int:
    pyproject = PYPROJECT
    if groups[:1] == ["--pyproject"]:
        pyproject, groups = Path(groups[1]), groups[2:]
    document = load(pyproject.read_text(encoding="utf-8"))
    extras = document["project"].get("optional-dependencies", {})
    for group in groups:
        requirements = document["build-system"]["requires"] if group == "build" else extras[group]
        print("\n".join(requirements))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
