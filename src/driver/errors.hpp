#pragma once
// The DB-API exception hierarchy of the driver: the classes of
// nelvor_pgstore.errors, shared by both extension modules.
#include <libpq-fe.h>
#include <nanobind/nanobind.h>

#include <span>
#include <string>

namespace nelvor::driver {

namespace nb = nanobind;

// In the order of the class names in errors.cpp.
enum class ErrorKind {
    Warning,
    Error,
    InterfaceError,
    DatabaseError,
    DataError,
    OperationalError,
    IntegrityError,
    InternalError,
    ProgrammingError,
    NotSupportedError,
    QueryCanceledError,
};

// Imports the shared classes and exposes them on `module`.
void register_driver_errors(nb::module_& module);

// The names of the classes, ErrorKind's order.
std::span<const char* const> error_class_names();

[[noreturn]] void raise_error(ErrorKind kind, const std::string& message);

// Raises the class that matches the result's SQLSTATE; `result` may be null,
// in which case the connection's last error message is used.
[[noreturn]] void raise_from_result(PGconn* conn, const PGresult* result);

// Connection-level failure (lost connection, failed send): OperationalError
// carrying libpq's message.
[[noreturn]] void raise_connection_error(PGconn* conn);

ErrorKind error_kind_for_sqlstate(const char* sqlstate);

}  // namespace nelvor::driver
