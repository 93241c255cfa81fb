import pytest

from bench.peers.placeholders import numbered_placeholders


@pytest.mark.parametrize("template, expected", [
    ("SELECT 1", "SELECT 1"),
    ("a = %s AND b = %s", "a = $1 AND b = $2"),
    ("x LIKE '%%' || %s || '%%'", "x LIKE '%' || $1 || '%'"),
    ("VALUES (%s, %s), (%s, %s)", "VALUES ($1, $2), ($3, $4)"),
])
def test_numbered_placeholders(template, expected):
    assert numbered_placeholders(template) == expected


@pytest.mark.parametrize("template", ["a = %d", "a = %", "100%"])
def test_other_percent_sequences_are_refused(template):
    with pytest.raises(ValueError):
        numbered_placeholders(template)
