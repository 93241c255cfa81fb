import pytest

from doubles import OPERATOR_MAP
from nelvor_data.connections.implementations.mixins.sqlite_statements_mixin import NoValue, SqlOperatorTemplate
from nelvor_utils.query.enums import Lookup


@pytest.mark.parametrize("lookup, value, text, param", [
    (Lookup.EQ, 5, "F = %s", 5),
    (Lookup.EQ, True, "F IS %s", True),
    (Lookup.NEQ, False, "F IS NOT %s", False),
    (Lookup.IN, "[1, 2, 3]", "F IN (%s,%s,%s)", [1, 2, 3]),
    (Lookup.CONTAINS, "ab", "F LIKE %s", "%ab%"),
    (Lookup.ICONTAINS, "ab", "UPPER(F) LIKE %s", "%AB%"),
    (Lookup.ICONTAINS, 12, "UPPER(F) LIKE %s", "%12%"),
    (Lookup.ICONTAINS, "straße", "UPPER(F) LIKE %s", "%STRASSE%"),
    (Lookup.ISTARTSWITH, "ab", "UPPER(F) LIKE %s", "AB%"),
    (Lookup.ENDSWITH, "a{value}", "F LIKE %s", "%a{value}"),
    (Lookup.ISNULL, "false", "F IS NULL", NoValue),
    (Lookup.ISNULL, False, "F IS NOT NULL", NoValue),
])
def test_expression_without_alias_is_used_as_given(lookup, value, text, param):
    template = OPERATOR_MAP[lookup]
    assert template.build_statement("F", value, "", '"') == text
    assert template.build_value(value) == param


@pytest.mark.parametrize("column, expected", [
    ("name", 't1."name" = %s'),
    ('we"ird', 't1."we""ird" = %s'),
    ("{field_name}", 't1."{field_name}" = %s'),
])
def test_column_with_alias_is_quoted_and_escaped(column, expected):
    assert OPERATOR_MAP[Lookup.EQ].build_statement(column, 1, "t1", '"') == expected


def test_template_fields_are_keyword_only():
    with pytest.raises(TypeError):
        SqlOperatorTemplate("{field_name} = %s")
    assert SqlOperatorTemplate().value_template is None
