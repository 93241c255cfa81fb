"""The user's guide holds: every python block of the README runs, in order, as one program
against the server, and the demo uses only the classes' public operations."""
from __future__ import annotations

import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"
BLOCK = re.compile(r"^```python\n(.*?)^```$", re.M | re.S)


def readme_program(text: str) -> str:
    """The python blocks, each at its own line of the README, so that a traceback points there."""
    lines = [""] * (text.count("\n") + 1)
    for block in BLOCK.finditer(text):
        first = text.count("\n", 0, block.start(1))
        for offset, line in enumerate(block.group(1).splitlines()):
            lines[first + offset] = line
    return "\n".join(lines)


def test_readme_examples_run(database):
    program = readme_program(README.read_text(encoding="utf-8"))
    assert "PostgresImmutableConnection" in program and "PostgresStateConnection" in program
    exec(compile(program, str(README), "exec"), {"__name__": "readme"})


def test_demo_uses_public_operations_only():
    private = [(path.name, number, line.strip())
               for path in sorted((ROOT / "demo").glob("*.py"))
               for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1)
               if re.search(r"\bconnection\._", line)]
    assert private == []


def _documented(obj) -> bool:
    """Whether the docstring says more than the signature nanobind puts first."""
    text = (getattr(obj, "__doc__", None) or "").strip()
    if text.startswith(f"{getattr(obj, '__name__', '')}("):
        text = text.partition("\n")[2]
    return bool(text.strip())


def test_public_operations_are_documented():
    from nelvor_data.connections.implementations import current_store, ledger_store

    undocumented = []
    for module, class_name in ((ledger_store, "PostgresImmutableConnection"), (current_store, "PostgresStateConnection")):
        cls = getattr(module, class_name)
        members = {"": cls, **{name: member for name, member in vars(cls).items()
                               if not name.startswith("_") and callable(getattr(member, "fget", member))}}
        members["__init__"] = vars(cls)["__init__"]
        undocumented += [f"{class_name}.{name}" for name, member in members.items()
                         if not _documented(getattr(member, "fget", member))]
        for name in ("connect", "Connection", "Cursor", "Error", "IntegrityError"):
            undocumented += [f"{module.__name__}.{name}"] if not _documented(getattr(module, name)) else []
        for cls_name in ("Connection", "Cursor"):
            driver_cls = getattr(module, cls_name)
            undocumented += [f"{cls_name}.{name}" for name, member in vars(driver_cls).items()
                             if not name.startswith("_") and not _documented(getattr(member, "fget", member))]
    assert undocumented == []
