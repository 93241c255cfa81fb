"""The JSON writer produces what json.dumps produces."""
import json
import math

import pytest

VALUES = [
    None, True, False, 0, -5, 2**70, 1.5, 1e16, 1e-7, -0.0, "", "plain", 'q"uote\\back', "\n\r\t\b\f\x01\x1f\x7f",
    "é中", "😀𝄞", 2**63 - 1, -2**63, 2**63, -2**63 - 1, "a\x7fb", 'runs "between" \\ escapes\tand' * 20,
    ["plain ascii", "\x00"], [1, "a", None, [[]]], (1, 2), {"k": 1, "é": [True, {"x": None}]},
    {1: "a", 2.5: "b", True: 1, None: 2},
]


@pytest.mark.parametrize("ensure_ascii", [True, False])
@pytest.mark.parametrize("value", VALUES, ids=repr)
def test_matches_json_dumps(driver, value, ensure_ascii):
    assert driver._json_text(value, ensure_ascii) == json.dumps(value, ensure_ascii=ensure_ascii)


@pytest.mark.parametrize("value", [math.nan, math.inf, [-math.inf]])
def test_non_finite_floats_are_refused(driver, value):
    with pytest.raises(ValueError):
        driver._json_text(value)


@pytest.mark.parametrize("value", [{1, 2}, object(), {(1,): 2}])
def test_unsupported_types_are_refused(driver, value):
    with pytest.raises(TypeError):
        driver._json_text(value)


def test_self_containing_list_is_refused(driver):
    loop = []
    loop.append(loop)
    with pytest.raises(RecursionError):
        driver._json_text(loop)
