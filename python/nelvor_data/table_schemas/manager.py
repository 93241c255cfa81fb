"""Process-wide registry of class versions and their field-to-column maps."""
import re
from types import MappingProxyType
from typing import Any, Dict, List, Optional

from nelvor_utils.models.enums import Versions


def _natural_key(version: str) -> tuple:
    # "10" sorts after "9", "1.10" after "1.9"; digit runs and text runs never compare with each other.
    return tuple((0, int(part), "") if part.isdigit() else (1, 0, part)
                 for part in re.findall(r"\d+|\D+", version))


_EMPTY: Dict[str, str] = {}


class _ClassSchemas:
    def __init__(self) -> None:
        self.maps: Dict[str, Dict[str, str]] = {}
        self.reverse_maps: Dict[str, Dict[str, str]] = {}
        # Kept sorted at registration: lookups by LATEST happen for every result row.
        self.ordered_versions: List[str] = []

    def add(self, version: str, fields_map: Dict[str, str], reverse_map: Dict[str, str]) -> None:
        self.maps[version] = fields_map
        self.reverse_maps[version] = reverse_map
        self.ordered_versions = sorted(self.maps, key=_natural_key)


class TableSchemasManager:
    """Constructed freely; every instance reads and writes the same class-level registry."""

    _registry: Dict[str, _ClassSchemas] = {}

    def register(self, class_name: str, class_version: Any, fields_map: Optional[Dict[str, str]] = None,
                 reverse_map: Optional[Dict[str, str]] = None) -> None:
        """Record a class version with its field->column map (reverse derived when not given)."""
        version = self._concrete(class_version)
        fields_map = dict(fields_map or {})
        if reverse_map is None:
            reverse_map = {column: field for field, column in fields_map.items()}
        schemas = self._registry.setdefault(class_name.lower(), _ClassSchemas())
        schemas.add(version, fields_map, dict(reverse_map))

    def versions(self, class_name: str) -> List[str]:
        schemas = self._registry.get(class_name.lower())
        return list(schemas.ordered_versions) if schemas else []

    def latest_version(self, class_name: str) -> Optional[str]:
        schemas = self._registry.get(class_name.lower())
        return schemas.ordered_versions[-1] if schemas and schemas.ordered_versions else None

    def get_schemas_map(self, name: str, class_version: Any) -> Dict[str, str]:
        return self._lookup(name, class_version, reverse=False)

    def get_schemas_reverse_map(self, name: str, class_version: Any) -> Dict[str, str]:
        return self._lookup(name, class_version, reverse=True)

    @classmethod
    def clear(cls) -> None:
        cls._registry.clear()

    def _lookup(self, name: str, class_version: Any, *, reverse: bool) -> Dict[str, str]:
        schemas = self._registry.get(name.lower())
        if schemas is None:
            return {}
        if class_version == Versions.LATEST:
            class_version = self.latest_version(name)
            if class_version is None:
                return {}
        maps = schemas.reverse_maps if reverse else schemas.maps
        # A read-only view: callers cannot change the registry, and nothing is copied per call.
        return MappingProxyType(maps.get(str(class_version), _EMPTY))

    @staticmethod
    def _concrete(class_version: Any) -> str:
        if class_version == Versions.LATEST or class_version == Versions.ALL:
            raise ValueError(f"A concrete class version is required, not {class_version}")
        return str(class_version)
