// Result rows to tuples: the read hot path.
#include "driver/cursor.hpp"
#include "driver/collector_pause.hpp"

namespace nelvor::driver {

PyObject* new_row_tuple(const PGresult* result, int row, const std::vector<ColumnDecoder>& decoders) {
    const int columns = static_cast<int>(decoders.size());
    PyObject* tuple = PyTuple_New(columns);
    if (tuple == nullptr) return nullptr;
    bool holds_tracked = false;
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
        holds_tracked = holds_tracked || (PyObject_IS_GC(cell) && PyObject_GC_IsTracked(cell));
        PyTuple_SET_ITEM(tuple, column, cell);
    }
    // As CPython's collector would on its first pass: a tuple of untracked
    // values cannot be part of a cycle, so the collector need not visit it.
    if (!holds_tracked) PyObject_GC_UnTrack(tuple);
    return tuple;
}

std::vector<ColumnDecoder> column_decoders(const PGresult* result) {
    const int columns = PQnfields(result);
    std::vector<ColumnDecoder> decoders;
    decoders.reserve(static_cast<size_t>(columns));
    for (int column = 0; column < columns; ++column) decoders.push_back(decoder_for_type(PQftype(result, column)));
    return decoders;
}

nb::object build_row(const PGresult* result, int row, const std::vector<ColumnDecoder>& decoders) {
    nb::object tuple = nb::steal(new_row_tuple(result, row, decoders));
    if (!tuple.is_valid()) throw nb::python_error();
    return tuple;
}

nb::list build_rows(const PGresult* result, int first, int end, const std::vector<ColumnDecoder>& decoders) {
    const int count = end > first ? end - first : 0;
    driver::CollectorPause pause;
    nb::object rows = nb::steal(PyList_New(count));
    if (!rows.is_valid()) throw nb::python_error();
    for (int i = 0; i < count; ++i) {
        PyObject* tuple = new_row_tuple(result, first + i, decoders);
        if (tuple == nullptr) throw nb::python_error();
        PyList_SET_ITEM(rows.ptr(), i, tuple);
    }
    return nb::borrow<nb::list>(rows);
}

}  // namespace nelvor::driver
