#include "connections/core/transaction_stack.hpp"

#include "connections/core/statement_execution.hpp"
#include "connections/core/store_context.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::core {

namespace {

nb::list field_list(nb::handle self, nb::handle name) { return nb::borrow<nb::list>(nb::getattr(self, name)); }

nb::object pop_last(nb::list list) { return list.attr("pop")(); }

void run(nb::handle self, const std::string& statement) { execute(self, statement, nb::tuple()); }

nb::str savepoint_name(nb::handle) {
    static nb::handle letters = nb::str("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").release();
    nb::object chosen = framework::handles().random_choices(letters, nb::arg("k") = 10);
    return nb::borrow<nb::str>(nb::str("").attr("join")(chosen));
}

void begin(nb::handle self) {
    const auto& names = store().names;
    nb::list levels = field_list(self, names.revert_data);
    levels.append(nb::list());
    if (nb::len(levels) > 1) {
        nb::str name = savepoint_name(self);
        field_list(self, names.savepoints).append(name);
        run(self, std::string("SAVEPOINT ") + name.c_str());
    } else {
        run(self, "BEGIN");
    }
}

// The server ends an aborted transaction with ROLLBACK whatever it was asked.
bool answered_rollback(nb::handle cursor) {
    nb::object tag = nb::getattr(cursor, "statusmessage", nb::none());
    return !tag.is_none() && nb::str(tag).equal(nb::str("ROLLBACK"));
}

// Nothing of the transaction was stored: a failure, not a success. The
// session is idle again, so no level of the stack outlives it.
[[noreturn]] void report_rolled_back(nb::handle self) {
    field_list(self, store().names.savepoints).clear();
    const std::string message =
        "Transaction was rolled back: COMMIT found it aborted by an earlier failed statement; nothing of it was stored";
    nb::object cause = transaction_failure(self);
    if (cause.is_none()) framework::raise_connection_error(message);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(cause.ptr())), cause.ptr());
    nb::python_error failure;
    framework::raise_connection_error_from(failure, message);
}

void commit(nb::handle self) {
    const auto& names = store().names;
    nb::list levels = field_list(self, names.revert_data);
    nb::object removed = pop_last(levels);
    nb::list savepoints = field_list(self, names.savepoints);
    if (nb::len(savepoints) > 0) pop_last(savepoints);
    if (nb::len(levels) > 0) {
        // A nested commit hands its entries to the enclosing level.
        levels[nb::len(levels) - 1].attr("extend")(removed);
        return;
    }
    nb::object cursor = execute(self, "COMMIT", nb::tuple());
    if (answered_rollback(cursor)) report_rolled_back(self);
}

void rollback(nb::handle self) {
    const auto& names = store().names;
    pop_last(field_list(self, names.revert_data));
    nb::list savepoints = field_list(self, names.savepoints);
    if (nb::len(savepoints) > 0) {
        nb::str name = nb::borrow<nb::str>(pop_last(savepoints));
        run(self, std::string("ROLLBACK TO SAVEPOINT ") + name.c_str());
    } else {
        run(self, "ROLLBACK");
    }
}

void on_transaction_complete(nb::handle self) { field_list(self, store().names.revert_data).clear(); }

}  // namespace

nb::object innermost_revert_level(nb::handle self) {
    nb::list levels = field_list(self, store().names.revert_data);
    if (nb::len(levels) == 0) throw nb::index_error("list index out of range");
    return levels[nb::len(levels) - 1];
}

void add_transaction_methods(ClassBuilder& builder) {
    builder.method("begin", &begin, docs::begin)
        .method("commit", &commit, docs::commit)
        .method("rollback", &rollback, docs::rollback)
        .method("_savepoint_name", &savepoint_name)
        .method("on_transaction_complete", &on_transaction_complete, docs::on_transaction_complete);
}

}  // namespace nelvor::core
