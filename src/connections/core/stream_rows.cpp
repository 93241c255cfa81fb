#include "connections/core/stream_rows.hpp"

#include "connections/core/cursor.hpp"

namespace nelvor::driver {

StreamedRows::StreamedRows(RowConsumer* consumer) : rows_(nb::steal<nb::list>(PyList_New(0))), consumer_(consumer) {}

void StreamedRows::take(std::vector<PgResultPtr>& rows) {
    if (decoders_.empty() && !rows.empty()) {
        decoders_ = column_decoders(rows.front().get());
        if (consumer_ != nullptr) consumer_->columns(column_names(rows.front().get()));
    }
    for (const PgResultPtr& row : rows) {
        nb::object tuple = build_row(row.get(), 0, decoders_);
        if (consumer_ != nullptr) {
            consumer_->row(tuple);
            ++consumed_;
        } else if (PyList_Append(rows_.ptr(), tuple.ptr()) != 0) {
            throw nb::python_error();
        }
    }
}

}  // namespace nelvor::driver
