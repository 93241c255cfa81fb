#include "driver/errors.hpp"

#include <nanobind/stl/string.h>
#include <array>
#include <cstring>
#include <string_view>

namespace nelvor::driver {

namespace {

// In ErrorKind order: the class names in nelvor_pgstore.errors.
constexpr std::array<const char*, 11> kClassNames{
    "Warning",          "Error",          "InterfaceError",   "DatabaseError",
    "DataError",        "OperationalError", "IntegrityError", "InternalError",
    "ProgrammingError", "NotSupportedError", "QueryCanceledError",
};

// Static storage of the static core library is private to each extension
// module, so every module keeps its own references here, to the one set of
// classes both share. They live as long as the module.
std::array<PyObject*, kClassNames.size()> g_classes{};

PyObject* class_of(ErrorKind kind) { return g_classes[static_cast<size_t>(kind)]; }

// Server texts are UTF-8 as asked for at connect time; one that is not (a
// message sent before a change of client_encoding was refused) must still
// reach the caller as the error it reports.
nb::object server_text(std::string_view text) {
    nb::object decoded = nb::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!decoded.is_valid()) throw nb::python_error();
    return decoded;
}

[[noreturn]] void raise_instance(ErrorKind kind, const std::string& message, const char* sqlstate,
                                 const char* pgerror) {
    PyObject* cls = class_of(kind);
    nb::object text = server_text(message);
    nb::object instance = nb::steal(PyObject_CallOneArg(cls, text.ptr()));
    if (!instance.is_valid()) throw nb::python_error();
    if (sqlstate != nullptr && *sqlstate != '\0') {
        instance.attr("sqlstate") = nb::str(sqlstate);
        instance.attr("pgcode") = nb::str(sqlstate);
    }
    if (pgerror != nullptr) instance.attr("pgerror") = server_text(pgerror);
    PyErr_SetObject(cls, instance.ptr());
    throw nb::python_error();
}

// "ERROR:  message" -> "message", as users expect from str(exception).
std::string strip_severity(const char* message) {
    std::string_view text(message);
    size_t colon = text.find(":  ");
    size_t newline = text.find('\n');
    if (colon != std::string_view::npos && colon < newline) text.remove_prefix(colon + 3);
    return std::string(text);
}

}  // namespace

ErrorKind error_kind_for_sqlstate(const char* sqlstate) {
    if (sqlstate == nullptr || std::strlen(sqlstate) != 5) return ErrorKind::DatabaseError;
    if (std::strcmp(sqlstate, "57014") == 0) return ErrorKind::QueryCanceledError;
    const char c0 = sqlstate[0], c1 = sqlstate[1];
    switch (c0) {
        case '0':
            if (c1 == '8') return ErrorKind::OperationalError;
            if (c1 == 'A') return ErrorKind::NotSupportedError;
            break;
        case '2':
            if (c1 == '0' || c1 == '1' || c1 == 'B') return ErrorKind::ProgrammingError;
            if (c1 == '2') return ErrorKind::DataError;
            if (c1 == '3') return ErrorKind::IntegrityError;
            if (c1 == '4' || c1 == '5' || c1 == 'D' || c1 == 'F') return ErrorKind::InternalError;
            if (c1 >= '6' && c1 <= '8') return ErrorKind::OperationalError;
            break;
        case '3':
            if (c1 == '4' || c1 == 'D' || c1 == 'F') return ErrorKind::ProgrammingError;
            if (c1 == '8' || c1 == '9' || c1 == 'B') return ErrorKind::InternalError;
            break;
        case '4':
            if (c1 == '0') return ErrorKind::OperationalError;  // serialization failure, deadlock
            if (c1 == '2' || c1 == '4') return ErrorKind::ProgrammingError;
            break;
        case '5':
            return ErrorKind::OperationalError;  // resources, limits, shutdown, system errors
        case 'F':
        case 'H':
            return ErrorKind::OperationalError;
        case 'P':
        case 'X':
            return ErrorKind::InternalError;
        default:
            break;
    }
    return ErrorKind::DatabaseError;
}

void register_driver_errors(nb::module_& module) {
    // Both modules raise the classes of one Python module, so an except
    // clause written against either catches the errors of both.
    nb::module_ errors = nb::module_::import_("nelvor_pgstore.errors");
    for (size_t kind = 0; kind < kClassNames.size(); ++kind) {
        nb::object cls = errors.attr(kClassNames[kind]);
        g_classes[kind] = nb::object(cls).release().ptr();
        module.attr(kClassNames[kind]) = cls;
    }
}

std::span<const char* const> error_class_names() { return kClassNames; }

void raise_error(ErrorKind kind, const std::string& message) {
    raise_instance(kind, message, nullptr, nullptr);
}

void raise_from_result(PGconn* conn, const PGresult* result) {
    const char* full = result != nullptr ? PQresultErrorMessage(result) : "";
    if (full == nullptr || *full == '\0') full = PQerrorMessage(conn);
    const char* sqlstate = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    ErrorKind kind = error_kind_for_sqlstate(sqlstate);
    if (sqlstate == nullptr && PQstatus(conn) == CONNECTION_BAD) kind = ErrorKind::OperationalError;
    raise_instance(kind, strip_severity(full), sqlstate, full);
}

void raise_connection_error(PGconn* conn) {
    const char* message = conn != nullptr ? PQerrorMessage(conn) : "connection is not available";
    raise_instance(ErrorKind::OperationalError, message, nullptr, nullptr);
}

}  // namespace nelvor::driver
