#include "driver/execution/stream_rows.hpp"

#include "driver/collector_pause.hpp"
#include "driver/cursor.hpp"

namespace nelvor::driver {

StreamedRows::StreamedRows(RowConsumer* consumer) : rows_(nb::steal<nb::list>(PyList_New(0))), consumer_(consumer) {}

void StreamedRows::take(std::vector<PgResultPtr>& rows) {
    // Paused per batch, with the GIL held: never across a wait for more rows.
    CollectorPause pause;
    if (decoders_.empty() && !rows.empty()) {
        decoders_ = column_decoders(rows.front().get());
        if (consumer_ != nullptr) consumer_->columns(column_names(rows.front().get()));
    }
    if (consumer_ == nullptr) {
        for (const PgResultPtr& row : rows)
            if (PyList_Append(rows_.ptr(), build_row(row.get(), 0, decoders_).ptr()) != 0) throw nb::python_error();
        return;
    }
    // The batch is decoded first and then handed over: alternating the two
    // per row was measurably slower.
    std::vector<nb::object> built;
    built.reserve(rows.size());
    for (const PgResultPtr& row : rows) built.push_back(build_row(row.get(), 0, decoders_));
    for (const nb::object& tuple : built) {
        consumer_->row(tuple);
        ++consumed_;
    }
}

}  // namespace nelvor::driver
