#pragma once
// DB-API cursor over one libpq result, bound to Python as `Cursor`.
#include <nanobind/nanobind.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/execution/copy_stream.hpp"
#include "driver/types/decode.hpp"
#include "driver/types/literal.hpp"
#include "driver/handles.hpp"
#include "driver/row_consumer.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

class Connection;
struct SessionHandles;
struct StatementRun;

class Cursor {
public:
    // `connection_object` is the Python object holding `connection`; the
    // cursor keeps it alive.
    Cursor(nb::object connection_object, Connection& connection);

    // `params` None: the text is sent as is (a % needs no doubling). With a
    // consumer, the rows go to it (while they arrive, when streamed) and the
    // cursor keeps none to fetch.
    void execute(std::string_view query, nb::handle params, RowConsumer* consumer = nullptr);
    void executemany(std::string_view query, nb::handle params_sequence);

    nb::object fetchone();
    nb::list fetchmany(std::optional<Py_ssize_t> size);
    nb::list fetchall();
    nb::object next();

    void close();
    bool closed() const { return closed_; }
    nb::object connection() const { return connection_object_; }
    nb::object description() const { return description_; }
    Py_ssize_t rowcount() const { return rowcount_; }
    Py_ssize_t rownumber() const { return next_row_; }
    Py_ssize_t arraysize() const { return arraysize_; }
    void set_arraysize(Py_ssize_t size) { arraysize_ = size; }
    nb::object query();
    nb::object statusmessage() const;

    // cursor_calls.cpp: psycopg2's mogrify and callproc, PEP 249's nextset.
    nb::bytes mogrify(std::string_view query, nb::handle params);
    nb::object callproc(std::string_view procname, nb::handle params);
    nb::object nextset();

    // cursor_copy.cpp. Runs a COPY ... FROM STDIN or TO STDOUT with its data
    // through `endpoint`; rowcount and statusmessage tell what was copied.
    void copy(const std::string& sql, CopyEndpoint& endpoint);
    // psycopg2's copy_expert: the data read from or written to a Python file.
    void copy_expert(const std::string& sql, nb::handle file, Py_ssize_t size);

private:
    void require_open() const;
    void require_rows() const;
    void reset_result();
    void adopt_result(PgResultPtr result);
    void adopt_run(StatementRun run);
    void feed(RowConsumer& consumer);
    // run_statement, under the statement lock: refuses a change of
    // client_encoding the statement made, and tells the connection how its
    // transaction fared.
    StatementRun run_watched(const SessionHandles& session, std::string_view query, nb::handle params,
                             RowConsumer* consumer);
    // Rows [next_row_, end) as a list; moves next_row_ to `end`.
    nb::list take_rows(int end);

    nb::object connection_object_;
    Connection* connection_;
    PgResultPtr result_;
    std::vector<ColumnDecoder> decoders_;
    // Set when the rows were built while they arrived; result_ then holds
    // the statement's (row-less) final result.
    std::optional<nb::list> built_rows_;
    int row_total_ = 0;
    int next_row_ = 0;
    nb::object description_ = nb::none();
    Py_ssize_t rowcount_ = -1;
    Py_ssize_t arraysize_ = 1;
    std::optional<std::string> query_;
    // For a statement sent with bound parameters: what to render the text
    // with literals from, should `query` be asked for.
    struct Unrendered {
        std::string query;
        nb::object params;
        LiteralContext context;
    };
    std::optional<Unrendered> unrendered_;
    std::optional<std::string> statusmessage_;
    bool closed_ = false;
};

// The result's column names, decoded as the description has them.
nb::tuple column_names(const PGresult* result);
// The decoders of the result's columns.
std::vector<ColumnDecoder> column_decoders(const PGresult* result);
// Rows [first, end) of `result` as a list of tuples.
nb::list build_rows(const PGresult* result, int first, int end, const std::vector<ColumnDecoder>& decoders);
// One row as a new tuple reference, or nullptr with a Python error set.
PyObject* new_row_tuple(const PGresult* result, int row, const std::vector<ColumnDecoder>& decoders);
// One row as a tuple.
nb::object build_row(const PGresult* result, int row, const std::vector<ColumnDecoder>& decoders);

void bind_cursor(nb::module_& module);

}  // namespace nelvor::driver
