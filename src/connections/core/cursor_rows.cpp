// Result rows to tuples: the read hot path.
#include "connections/core/cursor.hpp"

namespace nelvor::driver {

namespace {

// Building many rows creates millions of containers; without a pause the
// cyclic collector would run over and over during the build. None of them
// can form a cycle, so nothing is lost by collecting afterwards.
class CollectorPause {
public:
    CollectorPause() : was_enabled_(PyGC_Disable()) {}
    ~CollectorPause() {
        if (was_enabled_ == 1) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    int was_enabled_;
};

// New reference, or nullptr with a Python error set.
PyObject* row_tuple(const PGresult* result, int row, const std::vector<ColumnDecoder>& decoders) {
    const int columns = static_cast<int>(decoders.size());
    PyObject* tuple = PyTuple_New(columns);
    if (tuple == nullptr) return nullptr;
    for (int column = 0; column < columns; ++column) {
        PyObject* cell;
        if (PQgetisnull(result, row, column)) {
            cell = Py_None;
            Py_INCREF(cell);
        } else {
            cell = decode_cell(decoders[static_cast<size_t>(column)], PQgetvalue(result, row, column),
                               static_cast<size_t>(PQgetlength(result, row, column)));
            if (cell == nullptr) {
                Py_DECREF(tuple);
                return nullptr;
            }
        }
        PyTuple_SET_ITEM(tuple, column, cell);
    }
    return tuple;
}

}  // namespace

nb::object build_row(const PGresult* result, int row, const std::vector<ColumnDecoder>& decoders) {
    nb::object tuple = nb::steal(row_tuple(result, row, decoders));
    if (!tuple.is_valid()) throw nb::python_error();
    return tuple;
}

nb::list build_rows(const PGresult* result, int first, int end, const std::vector<ColumnDecoder>& decoders) {
    const int count = end > first ? end - first : 0;
    CollectorPause pause;
    nb::object rows = nb::steal(PyList_New(count));
    if (!rows.is_valid()) throw nb::python_error();
    for (int i = 0; i < count; ++i) {
        PyObject* tuple = row_tuple(result, first + i, decoders);
        if (tuple == nullptr) throw nb::python_error();
        PyList_SET_ITEM(rows.ptr(), i, tuple);
    }
    return nb::borrow<nb::list>(rows);
}

}  // namespace nelvor::driver
