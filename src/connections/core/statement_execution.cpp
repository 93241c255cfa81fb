#include "connections/core/statement_execution.hpp"

#include "connections/core/store_context.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::core {

namespace {

nb::object driver_connection(nb::handle self) {
    nb::object connection = nb::getattr(self, store().names.connection);
    if (connection.is_none()) framework::raise_connection_error("Connection not established");
    return connection;
}

[[noreturn]] void raise_wrapped(nb::python_error& error, nb::handle query, nb::handle params) {
    nb::tuple printed_params = nb::tuple(params);
    std::string message = "Error executing query: ";
    message += nb::str(query).c_str();
    message += " with args: ";
    message += nb::repr(printed_params).c_str();
    framework::raise_connection_error_from(error, message);
}

nb::object execute_method(nb::handle self, nb::handle query, nb::args args) {
    return execute(self, query, args);
}

}  // namespace

nb::object execute(nb::handle self, nb::handle query, nb::handle params) {
    if (!PyUnicode_Check(query.ptr()))
        throw nb::type_error(("execute() argument 'query' must be str, not " +
                              std::string(nb::type_name(query.type()).c_str())).c_str());
    nb::object connection = driver_connection(self);
    nb::object cursor = connection.attr("cursor")();
    try {
        cursor.attr("execute")(query, params);
    } catch (nb::python_error& error) {
        // Interrupts and other non-Exception signals pass through unwrapped.
        if (!error.matches(PyExc_Exception)) throw;
        raise_wrapped(error, query, params);
    }
    return cursor;
}

nb::object execute(nb::handle self, std::string_view query, nb::handle params) {
    return execute(self, nb::str(query.data(), query.size()), params);
}

void add_execution_methods(ClassBuilder& builder) {
    builder.method("execute", &execute_method, nb::arg("query"), nb::arg("args"));
}

}  // namespace nelvor::core
