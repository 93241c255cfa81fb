#include "connections/sql/result_records.hpp"

#include "connections/core/statement_execution.hpp"

namespace nelvor::sql {

namespace {

// The row as a map from column name to value, built with the C API: this
// runs once per result row.
nb::dict row_values(nb::handle row, nb::handle names) {
    nb::tuple tuple = PyTuple_Check(row.ptr()) ? nb::borrow<nb::tuple>(row) : nb::tuple(nb::borrow<nb::sequence>(row));
    const Py_ssize_t count = PyTuple_GET_SIZE(names.ptr());
    if (PyTuple_GET_SIZE(tuple.ptr()) != count) {
        PyErr_SetString(PyExc_TypeError, "a result row does not match the described columns");
        throw nb::python_error();
    }
    nb::dict values;
    for (Py_ssize_t i = 0; i < count; ++i)
        if (PyDict_SetItem(values.ptr(), PyTuple_GET_ITEM(names.ptr(), i), PyTuple_GET_ITEM(tuple.ptr(), i)) < 0)
            throw nb::python_error();
    return values;
}

}  // namespace

RecordBuilder::RecordBuilder(nb::handle self, nb::handle table_name, nb::handle description)
    : process_result_(self.attr("_process_result")), table_name_(table_name), description_(description) {}

void RecordBuilder::columns(nb::tuple names) { names_ = std::move(names); }

void RecordBuilder::row(nb::handle row) {
    if (failure_) return;
    try {
        nb::dict values = row_values(row, names_);
        PyObject* args[] = {table_name_.ptr(), values.ptr(), description_.ptr()};
        nb::object record = nb::steal(PyObject_Vectorcall(process_result_.ptr(), args, 3, nullptr));
        if (!record.is_valid()) throw nb::python_error();
        if (PyList_Append(records_.ptr(), record.ptr()) != 0) throw nb::python_error();
    } catch (nb::python_error& error) {
        // An interrupt ends the statement at once.
        if (!error.matches(PyExc_Exception)) throw;
        failure_.emplace(std::move(error));
    }
}

nb::list RecordBuilder::records() {
    if (failure_) throw *failure_;
    return records_;
}

nb::list select_records(nb::handle self, nb::handle query, nb::handle params, nb::handle table_name,
                        nb::handle description) {
    // The driver pauses the collector while rows reach the builder, not while it waits.
    RecordBuilder builder(self, table_name, description);
    core::execute_into(self, query, params, builder);
    return builder.records();
}

}  // namespace nelvor::sql
