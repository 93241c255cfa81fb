// What help() and the type stubs show for the driver's Python types: each entry
// is the signature (typing names by their full names, so that the generated stubs
// import them) and the docstring.
#pragma once

namespace nelvor::driver {

struct BindingDoc {
    const char* signature;
    const char* text;
};

namespace docs {

inline constexpr const char* connection_class =
    "A libpq connection, as connect() returns it (PEP 249). Statements run on cursors;\n"
    "the connection commits or rolls back, and as a context manager ends the transaction\n"
    "(commit, or rollback on an exception) without closing.";

inline constexpr BindingDoc connect{
    "def connect(dsn: str | None = None, **kwargs: typing.Any) -> Connection",
    "Open a connection to a PostgreSQL server.\n\n"
    "Args:\n"
    "    dsn: a libpq connection string or URI.\n"
    "    **kwargs: libpq connection parameters (host, port, user, password, database or\n"
    "        dbname, ...; they win over dsn), and prepare_threshold (statement texts are\n"
    "        prepared once run that many times; None: never).\n\n"
    "Returns:\n"
    "    The open Connection, outside any transaction.\n\n"
    "Raises:\n"
    "    OperationalError: the server cannot be reached or refuses the login.\n"
    "    ValueError: a bad prepare_threshold."};

inline constexpr BindingDoc cursor{"def cursor(self) -> Cursor", "A new cursor on this connection."};
inline constexpr BindingDoc close{"def close(self) -> None",
                                  "Close the connection (an open transaction is rolled back); closing twice is "
                                  "allowed."};
inline constexpr BindingDoc cancel{"def cancel(self) -> None",
                                   "Ask the server to cancel the statement running on this connection (from "
                                   "another thread)."};
inline constexpr BindingDoc backend_pid{"def get_backend_pid(self) -> int",
                                        "The process id of the server process serving this connection."};
inline constexpr BindingDoc fileno{"def fileno(self) -> int", "The connection's socket descriptor."};
inline constexpr BindingDoc commit{"def commit(self) -> None",
                                   "Commit the open transaction (nothing to do outside one).\n\n"
                                   "Raises:\n    Error subclass: the server refused the COMMIT."};
inline constexpr BindingDoc rollback{"def rollback(self) -> None",
                                     "Roll the open transaction back (nothing to do outside one)."};
inline constexpr BindingDoc transaction_status{
    "def get_transaction_status(self) -> int",
    "libpq's transaction status: 0 idle, 1 active, 2 in a transaction, 3 in a failed "
    "transaction, 4 unknown."};
inline constexpr BindingDoc closed{"def closed(self) -> bool",
                                   "Whether the connection is closed, by close() or because the session ended."};
inline constexpr BindingDoc server_version{"def server_version(self) -> int",
                                           "The server's version number (150008 for 15.8)."};
inline constexpr BindingDoc encoding{"def encoding(self) -> str", "The client encoding (UTF8)."};
inline constexpr BindingDoc isolation_level{
    "def isolation_level(self) -> typing.Any",
    "The isolation level of the transactions opened from now on; None is the server's default."};
inline constexpr BindingDoc prepare_threshold{
    "def prepare_threshold(self) -> int | None",
    "After how many runs a statement text is prepared (0: at once); None: never.\n\n"
    "A prepared statement whose result columns another session changed fails with 'cached\n"
    "plan must not change result type'; outside a transaction it is prepared again and\n"
    "rerun, inside one the transaction is aborted and has to be run again."};
inline constexpr BindingDoc stream_rows{"def stream_rows(self) -> bool",
                                        "Whether large results are read while the server still sends them."};
inline constexpr BindingDoc spin_wait{"def spin_wait(self) -> bool",
                                      "Whether a short reply may be read before the thread sleeps on the socket."};
inline constexpr BindingDoc autocommit{"def autocommit(self) -> bool",
                                       "Whether each statement commits by itself (no BEGIN is sent)."};
inline constexpr BindingDoc status{"def status(self) -> int", "The connection status (psycopg2's numbers)."};
inline constexpr BindingDoc connection_enter{
    "def __enter__(self) -> Connection", "The connection itself; the block runs in a transaction."};
inline constexpr BindingDoc connection_exit{
    "def __exit__(self, type: type[BaseException] | None, value: BaseException | None, "
    "traceback: types.TracebackType | None) -> bool",
    "Commit, or roll back when the block raised; the connection stays open. Returns False."};
inline constexpr BindingDoc notices{"def notices(self) -> list[str]",
                                    "The server's notices received on this connection, oldest first."};

inline constexpr const char* cursor_class =
    "A cursor of a Connection (PEP 249): runs statements with %s or %(name)s placeholders\n"
    "and fetches their rows as tuples; iterable, and a context manager that closes it.";

inline constexpr BindingDoc execute{
    "def execute(self, query: str, params: collections.abc.Sequence[typing.Any] | "
    "collections.abc.Mapping[str, typing.Any] | None = None) -> None",
    "Run one statement.\n\n"
    "Args:\n"
    "    query: the SQL text; with params, %s (or %(name)s) placeholders and %% for a %.\n"
    "    params: the values, in placeholder order (a sequence) or by name (a mapping).\n\n"
    "Raises:\n"
    "    ProgrammingError: wrong placeholders or parameter count, or a statement error;\n"
    "    IntegrityError, DataError, OperationalError, ...: the server's error by its SQLSTATE\n"
    "        class (sqlstate on the error); QueryCanceledError: cancelled or timed out."};
inline constexpr BindingDoc executemany{
    "def executemany(self, query: str, params_seq: collections.abc.Iterable[collections.abc.Sequence[typing.Any] | "
    "collections.abc.Mapping[str, typing.Any]]) -> None",
    "Run one statement once for each parameter set in params_seq.\n\n"
    "Raises:\n    Error subclass: as execute(), at the first failing set."};
inline constexpr BindingDoc fetchone{"def fetchone(self) -> tuple[typing.Any, ...] | None",
                                     "The next row, or None after the last.\n\n"
                                     "Raises:\n    ProgrammingError: the statement returned no rows."};
inline constexpr BindingDoc fetchmany{"def fetchmany(self, size: int | None = None) -> list[tuple[typing.Any, ...]]",
                                      "The next rows, at most size (default arraysize)."};
inline constexpr BindingDoc fetchall{"def fetchall(self) -> list[tuple[typing.Any, ...]]", "All remaining rows."};
inline constexpr BindingDoc cursor_close{"def close(self) -> None", "Close the cursor; it runs nothing afterwards."};
inline constexpr BindingDoc iter{"def __iter__(self) -> Cursor", "The cursor itself: iterating yields its rows."};
inline constexpr BindingDoc next{"def __next__(self) -> tuple[typing.Any, ...]", "The next row."};
inline constexpr BindingDoc enter{"def __enter__(self) -> Cursor", "The cursor itself."};
inline constexpr BindingDoc exit{"def __exit__(self, *args: typing.Any) -> None", "Close the cursor."};
inline constexpr BindingDoc cursor_closed{"def closed(self) -> bool", "Whether the cursor is closed."};
inline constexpr BindingDoc cursor_connection{"def connection(self) -> Connection", "The cursor's connection."};
inline constexpr BindingDoc description{
    "def description(self) -> tuple[tuple[typing.Any, ...], ...] | None",
    "One named tuple of seven per result column (name, type_code, ...), or None when the last\n"
    "statement returned no rows."};
inline constexpr BindingDoc rowcount{"def rowcount(self) -> int",
                                     "Rows returned or affected by the last statement; -1 before any."};
inline constexpr BindingDoc rownumber{"def rownumber(self) -> int", "Index of the next row to fetch."};
inline constexpr BindingDoc arraysize{"def arraysize(self) -> int", "Rows fetchmany() returns by default."};
inline constexpr BindingDoc query{"def query(self) -> bytes | None", "The last statement as sent, values rendered."};
inline constexpr BindingDoc statusmessage{"def statusmessage(self) -> str | None",
                                          "The server's command tag of the last statement (INSERT 0 1, ...)."};
inline constexpr BindingDoc mogrify{
    "def mogrify(self, query: str, params: collections.abc.Sequence[typing.Any] | "
    "collections.abc.Mapping[str, typing.Any] | None = None) -> bytes",
    "The statement execute() would send, with the values rendered as literals."};
inline constexpr BindingDoc callproc{
    "def callproc(self, procname: str, params: collections.abc.Sequence[typing.Any] | "
    "collections.abc.Mapping[str, typing.Any] | None = None) -> typing.Any",
    "Call a database function (SELECT * FROM procname(params)); its rows are fetched from\n"
    "the cursor. Returns the parameters."};
inline constexpr BindingDoc nextset{"def nextset(self) -> None",
                                    "Always None: a statement has one result set.\n\n"
                                    "Raises:\n    ProgrammingError: no statement executed yet."};
inline constexpr BindingDoc copy_expert{
    "def copy_expert(self, sql: str, file: typing.Any, size: int = 8192) -> None",
    "Run a COPY statement: COPY ... FROM STDIN reads file (read(size) chunks of str or\n"
    "bytes), COPY ... TO STDOUT writes to file (write()).\n\n"
    "Raises:\n    Error subclass: the server refused the COPY or the data."};
inline constexpr BindingDoc setinputsizes{"def setinputsizes(self, sizes: typing.Any) -> None",
                                          "Accepted and ignored (PEP 249)."};
inline constexpr BindingDoc setoutputsize{"def setoutputsize(self, size: typing.Any, column: typing.Any = None) -> None",
                                          "Accepted and ignored (PEP 249)."};

}  // namespace docs

}  // namespace nelvor::driver
