"""The DB-API 2.0 exception hierarchy of the driver, defined once for both
extension modules. A server error carries its SQLSTATE (``sqlstate``, also as
psycopg2's ``pgcode``) and the server's full message (``pgerror``)."""


class Warning(Exception):  # noqa: A001 - the name PEP 249 gives it
    sqlstate = None
    pgcode = None
    pgerror = None


class Error(Exception):
    sqlstate = None
    pgcode = None
    pgerror = None


class InterfaceError(Error):
    pass


class DatabaseError(Error):
    pass


class DataError(DatabaseError):
    pass


class OperationalError(DatabaseError):
    pass


class IntegrityError(DatabaseError):
    pass


class InternalError(DatabaseError):
    pass


class ProgrammingError(DatabaseError):
    pass


class NotSupportedError(DatabaseError):
    pass


class QueryCanceledError(OperationalError):
    pass


__all__ = [
    "Warning", "Error", "InterfaceError", "DatabaseError", "DataError", "OperationalError",
    "IntegrityError", "InternalError", "ProgrammingError", "NotSupportedError", "QueryCanceledError",
]
