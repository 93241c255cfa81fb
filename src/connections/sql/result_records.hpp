// Result rows turned into records: each row paired with the result's column
// names and handed to the framework's `_process_result`, while the rows arrive.
#pragma once

#include <nanobind/nanobind.h>

#include <optional>
#include <vector>

#include "driver/row_consumer.hpp"

namespace nelvor::sql {

namespace nb = nanobind;

class RecordBuilder final : public driver::RowConsumer {
public:
    RecordBuilder(nb::handle self, nb::handle table_name, nb::handle description);
    void columns(nb::tuple names) override;
    void row(nb::handle row) override;
    // The records in row order; raises the first failure met building them.
    nb::list records();

private:
    nb::object process_result_;
    nb::handle table_name_;
    nb::handle description_;
    nb::tuple names_;
    nb::list records_;
    // Kept until the statement is over: a failing row must not look like a
    // failing statement, nor leave the connection mid-result.
    std::optional<nb::python_error> failure_;
};

// Runs the select and returns its records (`_process_result` of every row).
nb::list select_records(nb::handle self, nb::handle query, nb::handle params, nb::handle table_name,
                        nb::handle description);

}  // namespace nelvor::sql
