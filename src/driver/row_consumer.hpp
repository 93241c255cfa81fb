#pragma once
// Takes a query's rows one by one, in order, as they are built. When the rows
// are streamed this runs while the server still produces the rest, so the
// caller's own per-row work hides under the server's.
#include <nanobind/nanobind.h>

namespace nelvor::driver {

namespace nb = nanobind;

class RowConsumer {
public:
    virtual ~RowConsumer() = default;
    // Once, before the first row: the column names, as the cursor's description has them.
    virtual void columns(nb::tuple names) = 0;
    virtual void row(nb::handle row) = 0;
};

}  // namespace nelvor::driver
