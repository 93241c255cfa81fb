// What help() and the type stubs show for the operations both classes share:
// each entry is the signature (with the framework's types by their full names,
// so that the generated stubs import them) and the docstring.
#pragma once

#include "driver/binding_docs.hpp"

namespace nelvor::core {

using MethodDoc = driver::BindingDoc;

namespace docs {

// The reads take the same arguments in both classes.
inline constexpr const char* query_signature =
    "def query(self, address: nelvor_utils.models.data_models.address.Address, "
    "query_specifier: nelvor_utils.query.data_models.query_specifier.QuerySpecifier | None = None, "
    "conditions: nelvor_utils.query.utils.Q | None = None, "
    "pagination: nelvor_utils.query.data_models.paginator.NumberPaginator | None = None, "
    "order_by: list[nelvor_utils.query.data_models.order_by.OrderBy] | None = None"
    ") -> list[dict[str, typing.Any]]";

inline constexpr const char* count_signature =
    "def count(self, address: nelvor_utils.models.data_models.address.Address, "
    "conditions: nelvor_utils.query.utils.Q | None = None) -> int";

inline constexpr MethodDoc init{
    "def __init__(self, *, is_revert_supported: bool = True) -> None",
    "Create an unconnected instance; nothing is sent and the environment is not read yet.\n\n"
    "Args:\n"
    "    is_revert_supported: when true (the default), the writes record in the innermost\n"
    "        transaction level what they changed, so that revert() can undo it; such writes\n"
    "        then need a level opened with begin()."};

inline constexpr MethodDoc connect{
    "def connect(self, dsn: str | None = None, **kwargs: typing.Any) -> None",
    "Open the database connection.\n\n"
    "The connection parameters host, port, user, password and database come from the\n"
    "environment (POSTGRES_HOST ... POSTGRES_DATABASE for PostgresImmutableConnection,\n"
    "POSTGRES_STATE_HOST ... POSTGRES_STATE_DATABASE for PostgresStateConnection; unset or\n"
    "empty ones are left to libpq's defaults); keyword arguments win over them.\n\n"
    "Args:\n"
    "    dsn: a libpq connection string or URI; its parameters yield to the environment's\n"
    "        and to the keywords.\n"
    "    **kwargs: any libpq connection parameter (host, port, user, password, database or\n"
    "        dbname, sslmode, connect_timeout, ...), and prepare_threshold: a statement\n"
    "        text is prepared once it has run that many times (0: at once; None: never;\n"
    "        default: NELVOR_PREPARE_THRESHOLD, else 2).\n\n"
    "Raises:\n"
    "    NelvorConnectionError: 'Connection already established' when already connected.\n"
    "    OperationalError: the server cannot be reached or refuses the login (the driver's\n"
    "        error, not wrapped; the instance stays unconnected and connect() may be retried)."};

inline constexpr MethodDoc disconnect{
    "def disconnect(self) -> None",
    "Close the database connection. Sends no COMMIT or ROLLBACK: an open transaction is\n"
    "rolled back by the server. connect() may be called again afterwards.\n\n"
    "Raises:\n"
    "    NelvorConnectionError: 'Connection not established' when not connected."};

inline constexpr MethodDoc table_schema_manager{
    "def table_schema_manager(self) -> nelvor_data.table_schemas.base.TableSchemaServiceBase",
    "A new table-schema service of the framework bound to this connection (on every read):\n"
    "it names a class version's table (resolve_table_name) and creates tables\n"
    "(create_table(class_name, class_version, fields))."};

inline constexpr MethodDoc prepare_connection{
    "def prepare_connection(self) -> None",
    "Let the table-schema service register the store's internal tables (the historical\n"
    "store's metadata table; nothing for the state store). Call it once after connect().\n\n"
    "Raises:\n"
    "    NelvorConnectionError: a statement of the service failed."};

inline constexpr MethodDoc execute{
    "def execute(self, query: str, *args: typing.Any) -> Cursor",
    "Run one SQL statement and return the cursor that holds its result.\n\n"
    "Args:\n"
    "    query: the statement, with one %s placeholder per parameter (when there are\n"
    "        parameters, a literal % is written %%).\n"
    "    *args: the parameters in placeholder order: None, bool, int, float, Decimal, str,\n"
    "        bytes, date/time values, UUID, lists (as arrays), dicts (as json).\n\n"
    "Returns:\n"
    "    The driver's cursor: fetchone(), fetchall(), description, rowcount.\n\n"
    "Raises:\n"
    "    TypeError: query is not a str.\n"
    "    NelvorConnectionError: 'Connection not established', or 'Error executing query: ...'\n"
    "        when the statement fails, with the driver's error (an Error subclass with\n"
    "        sqlstate) as __cause__. An open transaction then needs rollback()."};

inline constexpr MethodDoc begin{
    "def begin(self) -> None",
    "Open a transaction level: BEGIN at the outermost level, a SAVEPOINT inside an open\n"
    "one. Each level also starts a new, empty revert level.\n\n"
    "Raises:\n"
    "    NelvorConnectionError: the statement failed (the level counts as opened). After a\n"
    "        failed begin() or a lost session, call rollback() once per open level (ignoring\n"
    "        the errors of the savepoint ones) or start a fresh instance."};

inline constexpr MethodDoc commit{
    "def commit(self) -> None",
    "Close the innermost transaction level: COMMIT at the outermost level; an inner level\n"
    "is merged into the enclosing one (its revert entries too) and nothing is sent.\n\n"
    "Raises:\n"
    "    IndexError: no transaction level is open.\n"
    "    NelvorConnectionError: the COMMIT failed (the level is closed all the same), or the\n"
    "        server answered it with ROLLBACK because a statement of the transaction had\n"
    "        failed: nothing was stored, that failure is the __cause__, and no level is left."};

inline constexpr MethodDoc rollback{
    "def rollback(self) -> None",
    "Undo and close the innermost transaction level: ROLLBACK at the outermost level,\n"
    "ROLLBACK TO SAVEPOINT inside; its revert entries are dropped.\n\n"
    "Raises:\n"
    "    IndexError: no transaction level is open.\n"
    "    NelvorConnectionError: the statement failed (the level is closed all the same)."};

inline constexpr MethodDoc on_transaction_complete{
    "def on_transaction_complete(self) -> None",
    "Forget every recorded revert entry; the framework calls it once its transaction has\n"
    "succeeded. Sends nothing."};

}  // namespace docs

}  // namespace nelvor::core
