#pragma once
// Runs one statement of a cursor the cheapest equivalent way: with rendered
// literals, or as a prepared statement once its text has run often enough,
// and with its rows built while they arrive when it is a query.
#include <nanobind/nanobind.h>

#include <optional>
#include <string>
#include <string_view>

#include "driver/connection.hpp"
#include "driver/handles.hpp"
#include "driver/row_consumer.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

struct StatementRun {
    PgResultPtr result;              // the statement's last result
    std::optional<nb::list> rows;    // its rows when they were built on arrival
    std::optional<std::string> sent; // the text sent, when it was rendered with literals
    std::optional<int> consumed;     // rows handed to the consumer while they arrived
    bool held_begin = false;         // a BEGIN held for the next statement: no result
    std::optional<std::string> status; // the command tag to report instead of the result's
};

// `params` None: the text is sent as is. Raises the driver's errors. Streamed
// rows go to `consumer` when there is one. A BEGIN on an idle session is held
// and sent with the next statement (see HeldBegin).
StatementRun run_statement(Connection& connection, const SessionHandles& session, std::string_view query,
                           nb::handle params, RowConsumer* consumer = nullptr);

}  // namespace nelvor::driver
