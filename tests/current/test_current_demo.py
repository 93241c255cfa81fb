"""The state tour runs end to end and ends with the table as it was before the reverted level."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))
from demo import state_tour  # noqa: E402


def test_state_tour(database):
    lines = []
    state_tour.run(lines.append)
    after_update = lines[lines.index("after the bulk update:") + 1:][:3]
    assert lines[-3:] == after_update
    assert "coastal Norwegian cities, largest first: ['Oslo', 'Bergen']" in lines
