from enum import Enum


class ModifyOperation(Enum):
    """Kind of a recorded write, as kept in the revert log."""

    CREATE = "create"
    UPDATE = "update"
    DELETE = "delete"
