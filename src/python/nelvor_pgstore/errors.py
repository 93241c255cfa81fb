"""The DB-API 2.0 exception hierarchy of the driver, defined once for both
extension modules. A server error carries its SQLSTATE (``sqlstate``, also as
psycopg2's ``pgcode``) and the server's full message (``pgerror``)."""


class Warning(Exception):  # noqa: A001 - the name PEP 249 gives it
    """A warning from the database (PEP 249); the driver raises none."""

    sqlstate = None
    pgcode = None
    pgerror = None


class Error(Exception):
    """Base of every error the driver raises (PEP 249); sqlstate (also pgcode) and pgerror carry
    the server's SQLSTATE and message."""

    sqlstate = None
    pgcode = None
    pgerror = None


class InterfaceError(Error):
    """A misuse of the driver itself, such as a closed connection or cursor."""


class DatabaseError(Error):
    """An error reported by or about the database."""


class DataError(DatabaseError):
    """A value the server cannot take: out of range, invalid text for its type, division by zero
    (SQLSTATE class 22)."""


class OperationalError(DatabaseError):
    """The connection or the server failed (unreachable, lost, shut down, out of resources), or the
    transaction must be retried: serialization failure or deadlock (SQLSTATE class 40)."""


class IntegrityError(DatabaseError):
    """A constraint refused the write: unique, foreign key, not null, check (SQLSTATE class 23)."""


class InternalError(DatabaseError):
    """An invalid transaction state (e.g. a statement in a failed transaction, SQLSTATE class 25)
    or an internal error of the server (class XX)."""


class ProgrammingError(DatabaseError):
    """The statement is wrong: syntax, unknown table or column, wrong number of parameters."""


class NotSupportedError(DatabaseError):
    """A feature the server or the driver does not support."""


class QueryCanceledError(OperationalError):
    """The statement was cancelled, or ran past statement_timeout (SQLSTATE 57014)."""


__all__ = [
    "Warning", "Error", "InterfaceError", "DatabaseError", "DataError", "OperationalError",
    "IntegrityError", "InternalError", "ProgrammingError", "NotSupportedError", "QueryCanceledError",
]
