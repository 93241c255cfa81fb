#include "connections/core/statement_execution.hpp"

#include "driver/cursor.hpp"
#include "driver/connection.hpp"
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

void require_text_query(nb::handle query) {
    if (!PyUnicode_Check(query.ptr()))
        throw nb::type_error(("execute() argument 'query' must be str, not " +
                              std::string(nb::type_name(query.type()).c_str())).c_str());
}

// This module's own driver connection is used directly; anything else put in
// its place (a wrapper that records or pools) through its Python methods.
driver::Connection* own_connection(nb::handle connection) {
    static const nb::handle own_type = nb::type<driver::Connection>();
    if (Py_TYPE(connection.ptr()) != reinterpret_cast<PyTypeObject*>(own_type.ptr())) return nullptr;
    return &nb::cast<driver::Connection&>(connection);
}

std::string_view utf8_view(nb::handle text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (data == nullptr) throw nb::python_error();
    return {data, static_cast<size_t>(size)};
}

struct Executed {
    nb::object cursor;
    bool rows_consumed;  // the rows went to the consumer while they were read
};

// Runs the statement on a new cursor of the instance's driver connection
// (directly when it is the own driver); a failure becomes the connection
// class's error naming the statement and its parameters.
Executed run(nb::handle self, nb::handle query, nb::handle params, driver::RowConsumer* consumer) {
    require_text_query(query);
    nb::object connection = driver_connection(self);
    driver::Connection* own = own_connection(connection);
    nb::object cursor = own != nullptr ? own->cursor() : connection.attr("cursor")();
    try {
        if (own != nullptr) {
            nb::cast<driver::Cursor&>(cursor).execute(utf8_view(query), params, consumer);
        } else {
            cursor.attr("execute")(query, params);
        }
    } catch (nb::python_error& error) {
        // Interrupts and other non-Exception signals pass through unwrapped.
        if (!error.matches(PyExc_Exception)) throw;
        raise_wrapped(error, query, params);
    }
    return {std::move(cursor), own != nullptr && consumer != nullptr};
}

}  // namespace

nb::object execute(nb::handle self, nb::handle query, nb::handle params) {
    return run(self, query, params, nullptr).cursor;
}

void execute_into(nb::handle self, nb::handle query, nb::handle params, driver::RowConsumer& consumer) {
    Executed executed = run(self, query, params, &consumer);
    if (executed.rows_consumed) return;
    // Another connection object in the driver's place: its rows are fetched.
    nb::object description = executed.cursor.attr("description");
    if (description.is_none()) return;
    nb::list name_list;
    for (nb::handle column : description) name_list.append(column[0]);
    consumer.columns(nb::tuple(name_list));
    for (nb::handle row : executed.cursor.attr("fetchall")()) consumer.row(row);
}

nb::object transaction_failure(nb::handle self) {
    driver::Connection* own = own_connection(nb::getattr(self, store().names.connection));
    return own != nullptr ? own->transaction_failure() : nb::none();
}

nb::object execute(nb::handle self, std::string_view query, nb::handle params) {
    return execute(self, nb::str(query.data(), query.size()), params);
}

void add_execution_methods(ClassBuilder& builder) {
    builder.method("execute", &execute_method, docs::execute, nb::arg("query").none(), nb::arg("args"));
}

}  // namespace nelvor::core
