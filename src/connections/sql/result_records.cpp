#include "connections/sql/result_records.hpp"

#include "connections/core/collector_pause.hpp"

#include <vector>

namespace nelvor::sql {

namespace {

// The row as a map from column name to value, built with the C API: this
// runs once per result row.
nb::dict row_values(nb::handle row, const std::vector<nb::handle>& names) {
    nb::sequence cells = nb::borrow<nb::sequence>(row);
    nb::tuple tuple = PyTuple_Check(row.ptr()) ? nb::borrow<nb::tuple>(row) : nb::tuple(cells);
    if (static_cast<size_t>(PyTuple_GET_SIZE(tuple.ptr())) != names.size())
        throw nb::type_error("a result row does not match the described columns");
    nb::dict values;
    for (size_t i = 0; i < names.size(); ++i)
        if (PyDict_SetItem(values.ptr(), names[i].ptr(), PyTuple_GET_ITEM(tuple.ptr(), i)) < 0)
            throw nb::python_error();
    return values;
}

}  // namespace

nb::list records_from_cursor(nb::handle self, nb::handle cursor, nb::handle table_name, nb::handle description) {
    nb::list name_list;
    for (nb::handle column : cursor.attr("description")) name_list.append(column[0]);
    std::vector<nb::handle> names(name_list.begin(), name_list.end());
    nb::object rows = cursor.attr("fetchall")();
    nb::object process_result = self.attr("_process_result");
    nb::list records;
    core::CollectorPause pause;
    for (nb::handle row : rows) {
        nb::dict values = row_values(row, names);
        PyObject* args[] = {table_name.ptr(), values.ptr(), description.ptr()};
        nb::object record = nb::steal(PyObject_Vectorcall(process_result.ptr(), args, 3, nullptr));
        if (!record.is_valid()) throw nb::python_error();
        records.append(record);
    }
    return records;
}

}  // namespace nelvor::sql
