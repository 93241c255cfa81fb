"""The state tour runs end to end and ends with the table as it was before the reverted level."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))
from demo import state_tour  # noqa: E402


def test_state_tour(database):
    lines = []
    state_tour.run(lines.append)
    after_update = lines[lines.index("after the bulk update:") + 1:][:3]
    reverted = next(index for index, line in enumerate(lines) if line.startswith("after revert"))
    assert lines[reverted + 1:reverted + 4] == after_update
    assert lines[-1].endswith("removed again with one bulk_delete: 3 cities")
    assert "  (the store logs: Revert is not supported for bulk update)" in lines
    assert "coastal Norwegian cities, largest first: ['Oslo', 'Bergen']" in lines
