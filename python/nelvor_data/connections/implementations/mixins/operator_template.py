"""How one query lookup becomes an SQL condition and its bound parameter."""
from dataclasses import dataclass
from typing import Any, Callable, Optional, Union

FIELD_PLACEHOLDER = "{field_name}"
VALUE_PLACEHOLDER = "{value}"


class NoValue:
    """Marker returned as a parameter: the condition binds no parameter at all."""

    def __init__(self) -> None:
        raise TypeError("NoValue is a marker and is not instantiated")


@dataclass(frozen=True, kw_only=True)
class SqlOperatorTemplate:
    """``template`` holds ``{field_name}`` and one ``%s`` per parameter, or is a function
    of the value returning such a text. ``value_template`` and ``value_modifier`` shape
    the parameter."""

    template: Union[str, Callable[[Any], str], None] = None
    value_template: Optional[str] = None
    value_modifier: Optional[Callable[[Any], Any]] = None

    def build_statement(self, field_name: str, value: Any, table_alias: str, column_separator: str) -> str:
        """The condition text. With an alias, ``field_name`` is a column quoted here;
        without one it is an SQL expression the caller has already made safe."""
        if self.template is None:
            raise ValueError("SqlOperatorTemplate has no template")
        text = self.template(value) if callable(self.template) else self.template
        if not isinstance(text, str):
            raise TypeError(f"operator template produced {type(text).__name__}, not text")
        if table_alias:
            escaped = field_name.replace(column_separator, column_separator * 2) if column_separator else field_name
            # The text is rendered with %s parameters later; %% comes out as one %.
            escaped = escaped.replace("%", "%%")
            expression = f"{table_alias}.{column_separator}{escaped}{column_separator}"
        else:
            expression = field_name
        return text.replace(FIELD_PLACEHOLDER, expression)

    def build_value(self, value: Any) -> Any:
        """The parameter to bind (``NoValue`` when the condition takes none)."""
        result = value
        if self.value_template:
            text = result if isinstance(result, str) else str(result)
            result = self.value_template.replace(VALUE_PLACEHOLDER, text)
        if self.value_modifier:
            result = self.value_modifier(result)
        return result
