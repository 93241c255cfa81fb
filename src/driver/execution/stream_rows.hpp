#pragma once
// Rows built into Python tuples while they arrive: the server produces the
// next rows while this process decodes the ones it has.
#include <nanobind/nanobind.h>

#include <vector>

#include "driver/types/decode.hpp"
#include "driver/row_consumer.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

class StreamedRows final : public RowSink {
public:
    // With a consumer, each row goes to it instead of being kept.
    explicit StreamedRows(RowConsumer* consumer = nullptr);
    void take(std::vector<PgResultPtr>& rows) override;
    // The rows so far; the statement's result describes their columns.
    nb::list rows() const { return rows_; }
    // Rows handed to the consumer so far.
    int consumed() const { return consumed_; }

private:
    nb::list rows_;
    std::vector<ColumnDecoder> decoders_;
    RowConsumer* consumer_;
    int consumed_ = 0;
};

}  // namespace nelvor::driver
