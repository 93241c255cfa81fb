"""The shipped type stubs are what a type checker sees: a typed example checks clean with
mypy, and a misuse of the classes is reported."""
from __future__ import annotations

import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("mypy")

EXAMPLE = Path(__file__).resolve().parents[1] / "typing" / "example.py"
MISUSE = '''
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_utils.models.data_models.address import Address

count: str = PostgresImmutableConnection().count(Address(class_name="Note"))
PostgresStateConnection().insert("City", {"name": "Oslo"})
PostgresStateConnection().bulk_delete(Address(class_name="City"))
'''


def test_example_checks_clean_and_misuse_is_reported(tmp_path):
    misuse = tmp_path / "misuse.py"
    misuse.write_text(MISUSE, encoding="utf-8")
    # The framework stand-in ships no py.typed; its annotations are followed all the same.
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--follow-untyped-imports", "--cache-dir", str(tmp_path / "cache"),
         "--no-error-summary", "--hide-error-context", str(EXAMPLE), str(misuse)],
        capture_output=True, text=True, cwd=tmp_path)
    lines = [line for line in done.stdout.splitlines() if line.strip()]
    assert [line for line in lines if EXAMPLE.name in line] == []
    reported = {int(line.split(":")[1]) for line in lines if Path(line.split(":")[0]).name == misuse.name}
    assert reported == {6, 7, 8}, done.stdout + done.stderr
