"""The history tour runs on a fresh database and shows what it promises."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))

from demo import history_tour  # noqa: E402


def test_history_tour(ledger):
    lines = []
    history_tour.run(lines.append)
    assert "4 rows in all, 2 latest" in lines
    assert lines[-1].startswith("  n1 v3: 'Final'")
    assert ledger.execute("SELECT count(*) FROM metadata WHERE address->>'class_name' = 'TourNote'").fetchone()[0] == 0
