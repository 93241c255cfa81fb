#include "driver/execution/copied_insert.hpp"

#include <string>
#include <vector>

#include "driver/execution/copy_stream.hpp"
#include "driver/execution/wait.hpp"
#include "driver/types/bind_values.hpp"
#include "driver/types/copy_text.hpp"

namespace nelvor::driver {

namespace {

// The types the server gives one row's placeholders: those of the columns.
std::vector<Oid> column_types(PGconn* conn, PGcancel* cancel, const InsertRows& insert) {
    std::string one_row = "INSERT INTO " + insert.target + " VALUES (";
    for (size_t i = 1; i <= insert.width; ++i) one_row += (i > 1 ? ", $" : "$") + std::to_string(i);
    one_row += ")";
    take_result(conn, collect_results(conn, cancel, [&](PGconn* c) {
                    return PQsendPrepare(c, "", one_row.c_str(), 0, nullptr);
                }));
    PgResultPtr described = take_result(
        conn, collect_results(conn, cancel, [](PGconn* c) { return PQsendDescribePrepared(c, ""); }));
    std::vector<Oid> types;
    for (int i = 0; i < PQnparams(described.get()); ++i) types.push_back(PQparamtype(described.get(), i));
    return types;
}

// COPY leaves out what an INSERT goes through besides the table's triggers
// and constraints: rules, row security and views; and it stores values for
// identity columns that refuse them. Such a table takes the INSERT.
bool copies_like_insert(PGconn* conn, PGcancel* cancel, const InsertRows& insert) {
    static const char* const kQuery =
        "SELECT c.relkind IN ('r', 'p') AND NOT c.relhasrules AND NOT c.relrowsecurity AND NOT EXISTS "
        "(SELECT FROM pg_catalog.pg_attribute a WHERE a.attrelid = c.oid AND a.attidentity = 'a') "
        "FROM pg_catalog.pg_class c WHERE c.oid = pg_catalog.to_regclass($1)";
    const char* name = insert.table.c_str();
    PgResultPtr answer = take_result(conn, collect_results(conn, cancel, [&](PGconn* c) {
        return PQsendQueryParams(c, kQuery, 1, nullptr, &name, nullptr, nullptr, 0);
    }));
    return PQntuples(answer.get()) == 1 && PQgetvalue(answer.get(), 0, 0)[0] == 't';
}

// The rows in COPY's text format; nullopt when a value has no such field.
std::optional<std::string> copy_rows(const BoundValues& values, const std::vector<Oid>& columns) {
    const BoundValues::Arrays arrays = values.arrays();
    const std::vector<Oid>& bound = values.types();
    std::string out;
    out.reserve(values.size() * 12);
    const size_t width = columns.size();
    for (size_t i = 0; i < values.size(); ++i) {
        const size_t column = i % width;
        if (arrays.formats[i] != 0) return std::nullopt;
        if (!append_copy_field(out, arrays.values[i], static_cast<size_t>(arrays.lengths[i]), bound[i],
                               columns[column]))
            return std::nullopt;
        out += column + 1 == width ? '\n' : '\t';
    }
    return out;
}

}  // namespace

std::optional<PgResultPtr> run_copied_insert(PGconn* conn, PGcancel* cancel, const InsertRows& insert,
                                             nb::handle params) {
    BoundValues values;
    for (nb::handle value : params) {
        if (!values.append(value.ptr())) return std::nullopt;
    }
    const std::vector<Oid> columns = column_types(conn, cancel, insert);
    if (columns.size() != insert.width || !copies_like_insert(conn, cancel, insert)) return std::nullopt;
    std::optional<std::string> rows = copy_rows(values, columns);
    if (!rows) return std::nullopt;
    CopyFromBuffer source(*rows);
    return run_copy(conn, cancel, "COPY " + insert.target + " FROM STDIN", source);
}

}  // namespace nelvor::driver
