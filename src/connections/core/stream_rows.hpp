#pragma once
// Rows built into Python tuples while they arrive: the server produces the
// next rows while this process decodes the ones it has.
#include <nanobind/nanobind.h>

#include <vector>

#include "connections/core/decode.hpp"
#include "connections/core/wait_query.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

class StreamedRows final : public RowSink {
public:
    StreamedRows();
    void take(std::vector<PgResultPtr>& rows) override;
    // The rows so far; the statement's result describes their columns.
    nb::list rows() const { return rows_; }

private:
    nb::list rows_;
    std::vector<ColumnDecoder> decoders_;
};

}  // namespace nelvor::driver
