#include "connections/core/stream_rows.hpp"

#include "connections/core/cursor.hpp"

namespace nelvor::driver {

StreamedRows::StreamedRows() : rows_(nb::steal<nb::list>(PyList_New(0))) {}

void StreamedRows::take(std::vector<PgResultPtr>& rows) {
    if (decoders_.empty() && !rows.empty()) decoders_ = column_decoders(rows.front().get());
    for (const PgResultPtr& row : rows) {
        PyObject* tuple = new_row_tuple(row.get(), 0, decoders_);
        if (tuple == nullptr) throw nb::python_error();
        const int status = PyList_Append(rows_.ptr(), tuple);
        Py_DECREF(tuple);
        if (status != 0) throw nb::python_error();
    }
}

}  // namespace nelvor::driver
