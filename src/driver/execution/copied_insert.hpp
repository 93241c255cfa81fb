#pragma once
// A multi-row INSERT of many rows sent as COPY of the same rows into the
// same columns, when that stores exactly what the INSERT stores: one
// statement either way, so just as all-or-nothing, and its triggers and
// constraints apply alike. The server's planning and reading of a statement
// with tens of thousands of parameters costs several times the COPY.
#include <libpq-fe.h>
#include <nanobind/nanobind.h>

#include <optional>

#include "driver/execution/insert_shape.hpp"
#include "driver/handles.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

// Rows below this go as the INSERT: the column types cost a round trip.
constexpr size_t kMinCopiedRows = 64;

// `params`: a tuple or list of insert.width * insert.rows values. nullopt
// when a value would be stored otherwise by COPY (or has no parameter form);
// the caller runs the INSERT then. Otherwise the COPY's result, or the
// driver's error (that of the INSERT: a missing table or column is found
// while the column types are asked for).
std::optional<PgResultPtr> run_copied_insert(PGconn* conn, PGcancel* cancel, const InsertRows& insert,
                                             nb::handle params);

}  // namespace nelvor::driver
