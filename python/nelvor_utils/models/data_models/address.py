import copy
from dataclasses import dataclass, fields
from typing import Any, Optional

from nelvor_utils.models.enums import Versions


def _printable(value: Any) -> str:
    return repr(value.value) if isinstance(value, Versions) else repr(value)


@dataclass(eq=True)
class Address:
    """Where an object lives: its class, class version, id and object version."""

    class_name: str
    class_version: Any = Versions.LATEST
    object_id: Optional[str] = None
    object_version: Any = Versions.LATEST

    def model_copy(self, *, update: Optional[dict] = None, deep: bool = False) -> "Address":
        duplicate = copy.deepcopy(self) if deep else copy.copy(self)
        for name, value in (update or {}).items():
            if name not in self.__dataclass_fields__:
                raise AttributeError(f"Address has no field {name!r}")
            setattr(duplicate, name, value)
        return duplicate

    def __repr__(self) -> str:
        shown = ", ".join(f"{f.name}={_printable(getattr(self, f.name))}" for f in fields(self))
        return f"Address({shown})"

    __str__ = __repr__
