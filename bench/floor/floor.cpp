// The libpq floor: runs the statements our driver sent and touches every cell
// of every result without building any Python object.
//
// Usage: floor [--prepared | --stream] CONNINFO STATEMENT_FILE
// Plain: every statement runs as the text our driver sent (PQexec).
// --prepared: a timed statement with parameters runs as a prepared statement:
// PQexecPrepared sends the parameters as text values of untyped parameters.
// A text the server refuses to prepare runs as the sent text. Statements
// without parameters, and the untimed phases, run as in the plain mode.
// --stream: as --prepared, with every timed statement's rows read one at a
// time as they arrive (single-row mode) instead of whole.
// Every mode first runs all phases once untimed, on the same connection: the
// connection is warm and the statements are prepared before the timed pass.
// In the timed phase a bare BEGIN travels with the next statement in one
// pipeline, as our driver sends it (before a streamed statement it goes alone).
//
// The file holds records of: one phase byte ('s' setup, 't' timed, 'f'
// finish); the sent text; the parameter count; when that is not zero, the $n
// text and each parameter as its length (0xFFFFFFFF: NULL) and bytes. Texts
// are a length and bytes; every length and count is 4 bytes little-endian.
// Only the 't' records are timed. Prints one line:
// "seconds=<timed seconds> rows=<n> bytes=<n> check=<n> unprepared=<n>".
#include <libpq-fe.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct ConnectionCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnectionCloser>;
using Result = std::unique_ptr<PGresult, ResultClearer>;

constexpr std::uint32_t kNullLength = 0xFFFFFFFF;
constexpr std::size_t kMaxParameters = 65535;  // the protocol counts them in 16 bits

struct Record {
    char phase;
    std::string text;      // as our driver sent it
    std::string numbered;  // with $n placeholders, when there are parameters
    std::vector<std::optional<std::string>> parameters;
};

struct Touched {
    std::uint64_t rows = 0;
    std::uint64_t bytes = 0;
    std::uint64_t check = 0;
};

class Reader {
public:
    explicit Reader(std::string data) : data_(std::move(data)) {}

    bool done() const { return at_ == data_.size(); }
    char byte() {
        need(1);
        return data_[at_++];
    }
    std::uint32_t number() {
        need(4);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data_[at_ + i])) << (8 * i);
        at_ += 4;
        return value;
    }
    std::string bytes(std::uint32_t length) {
        need(length);
        std::string text = data_.substr(at_, length);
        at_ += length;
        return text;
    }
    std::string text() { return bytes(number()); }

private:
    void need(std::size_t length) const {
        if (data_.size() - at_ < length) throw std::runtime_error("truncated statement file");
    }

    std::string data_;
    std::size_t at_ = 0;
};

std::vector<Record> read_records(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + path);
    Reader reader(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    std::vector<Record> records;
    while (!reader.done()) {
        Record record{reader.byte(), reader.text(), {}, {}};
        const std::uint32_t count = reader.number();
        if (count > 0) record.numbered = reader.text();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t length = reader.number();
            record.parameters.push_back(length == kNullLength ? std::nullopt
                                                              : std::optional<std::string>(reader.bytes(length)));
        }
        records.push_back(std::move(record));
    }
    return records;
}

// Every cell is read: its null flag, length and first byte, as a decoder would start.
void touch(const PGresult* result, Touched& touched) {
    const int rows = PQntuples(result);
    const int columns = PQnfields(result);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (PQgetisnull(result, row, column)) continue;
            const char* value = PQgetvalue(result, row, column);
            const int length = PQgetlength(result, row, column);
            touched.bytes += static_cast<std::uint64_t>(length);
            if (length > 0) touched.check += static_cast<unsigned char>(value[length - 1]);
        }
    }
    touched.rows += static_cast<std::uint64_t>(rows);
}

void take(PGconn* connection, Result result, Touched& touched) {
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        throw std::runtime_error(std::string("statement failed: ") + PQerrorMessage(connection));
    touch(result.get(), touched);
}

void run_text(PGconn* connection, const std::string& text, Touched& touched) {
    take(connection, Result(PQexec(connection, text.c_str())), touched);
}

bool is_bare_begin(const Record& record) {
    std::string word;
    for (const char c : record.text) {
        if (c != ' ' && c != ';' && c != '\n') word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return word == "BEGIN" && record.parameters.empty();
}

// How one statement is sent (PQsendQuery... of one extended-protocol query).
using Send = std::function<int(PGconn*)>;

// Reads every result of what was sent; in single-row mode each row is one result.
void read_results(PGconn* connection, Touched& touched) {
    while (PGresult* raw = PQgetResult(connection)) {
        Result result(raw);
        const ExecStatusType status = PQresultStatus(raw);
        if (status == PGRES_PIPELINE_SYNC) break;
        if (status == PGRES_SINGLE_TUPLE) {
            touch(raw, touched);
            continue;
        }
        take(connection, std::move(result), touched);
    }
}

// Sends the statement (after a held BEGIN, in one pipeline with it) and reads it.
void run_sent(PGconn* connection, const Send& send, bool after_begin, bool single_rows, Touched& touched) {
    if (after_begin && single_rows) {
        run_text(connection, "BEGIN", touched);
        after_begin = false;
    }
    if (after_begin) {
        if (PQenterPipelineMode(connection) != 1 ||
            PQsendQueryParams(connection, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) != 1 ||
            send(connection) != 1 || PQpipelineSync(connection) != 1)
            throw std::runtime_error(std::string("pipeline failed: ") + PQerrorMessage(connection));
        for (int query = 0; query < 2; ++query) read_results(connection, touched);  // each ends with a null
        read_results(connection, touched);  // up to the sync
        PQexitPipelineMode(connection);
        return;
    }
    if (send(connection) != 1) throw std::runtime_error(std::string("send failed: ") + PQerrorMessage(connection));
    if (single_rows) PQsetSingleRowMode(connection);
    read_results(connection, touched);
}

void run_plain(PGconn* connection, const Record& record, bool after_begin, bool single_rows, Touched& touched) {
    const char* text = record.text.c_str();
    if (!after_begin && !single_rows) return run_text(connection, record.text, touched);
    run_sent(connection, [text](PGconn* c) { return PQsendQueryParams(c, text, 0, nullptr, nullptr, nullptr, nullptr, 0); },
             after_begin, single_rows, touched);
}

// Prepared statements by their $n text; a text the server refused has no name.
class PreparedStatements {
public:
    explicit PreparedStatements(PGconn* connection) : connection_(connection) {}

    void run(const Record& record, bool after_begin, bool single_rows, Touched& touched) {
        const std::optional<std::string>& name = name_for(record);
        if (!name) return run_plain(connection_, record, after_begin, single_rows, touched);
        std::vector<const char*> values;
        values.reserve(record.parameters.size());
        for (const std::optional<std::string>& parameter : record.parameters)
            values.push_back(parameter ? parameter->c_str() : nullptr);
        run_sent(connection_, [&](PGconn* c) {
            return PQsendQueryPrepared(c, name->c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                       nullptr, 0);
        }, after_begin, single_rows, touched);
    }

    std::size_t refused() const { return refused_; }

private:
    const std::optional<std::string>& name_for(const Record& record) {
        if (const auto known = names_.find(record.numbered); known != names_.end()) return known->second;
        std::optional<std::string> name = "floor_" + std::to_string(names_.size());
        if (record.parameters.size() > kMaxParameters || !prepare(*name, record.numbered)) {
            name.reset();
            ++refused_;
        }
        return names_.emplace(record.numbered, std::move(name)).first->second;
    }

    // Inside a transaction a refused PREPARE would abort it: a savepoint keeps it alive.
    bool prepare(const std::string& name, const std::string& text) {
        const bool in_transaction = PQtransactionStatus(connection_) == PQTRANS_INTRANS;
        Touched ignored;
        if (in_transaction) run_text(connection_, "SAVEPOINT floor_prepare", ignored);
        const Result result(PQprepare(connection_, name.c_str(), text.c_str(), 0, nullptr));
        const bool prepared = PQresultStatus(result.get()) == PGRES_COMMAND_OK;
        if (in_transaction) {
            if (!prepared) run_text(connection_, "ROLLBACK TO SAVEPOINT floor_prepare", ignored);
            run_text(connection_, "RELEASE SAVEPOINT floor_prepare", ignored);
        }
        return prepared;
    }

    PGconn* connection_;
    std::unordered_map<std::string, std::optional<std::string>> names_;
    std::size_t refused_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const bool stream = argc == 4 && std::string_view(argv[1]) == "--stream";
    const bool prepared = stream || (argc == 4 && std::string_view(argv[1]) == "--prepared");
    if (argc != 3 && !prepared) {
        std::fprintf(stderr, "usage: %s [--prepared | --stream] CONNINFO STATEMENT_FILE\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<Record> records = read_records(argv[argc - 1]);
        Connection connection(PQconnectdb(argv[argc - 2]));
        if (!connection || PQstatus(connection.get()) != CONNECTION_OK)
            throw std::runtime_error(std::string("connection failed: ") +
                                     (connection ? PQerrorMessage(connection.get()) : "out of memory"));
        PreparedStatements statements(connection.get());
        Touched touched;
        Touched untimed;
        std::chrono::steady_clock::duration timed{};
        for (int pass = 0; pass < 2; ++pass) {
            const bool timing = pass == 1;  // the first pass warms the connection and prepares
            Touched& counted = timing ? touched : untimed;
            bool begin_held = false;
            for (const Record& record : records) {
                if (record.phase != 't') {
                    if (begin_held) {  // the timed phase ended with it
                        const auto started = std::chrono::steady_clock::now();
                        run_text(connection.get(), "BEGIN", counted);
                        if (timing) timed += std::chrono::steady_clock::now() - started;
                        begin_held = false;
                    }
                    run_text(connection.get(), record.text, untimed);
                    continue;
                }
                const auto started = std::chrono::steady_clock::now();
                if (is_bare_begin(record) && !begin_held) {
                    begin_held = true;  // goes out with the next statement
                } else if (prepared && !record.parameters.empty()) {
                    statements.run(record, begin_held, stream, counted);
                    begin_held = false;
                } else {
                    run_plain(connection.get(), record, begin_held, stream, counted);
                    begin_held = false;
                }
                if (timing) timed += std::chrono::steady_clock::now() - started;
            }
            if (begin_held) run_text(connection.get(), "BEGIN", counted);
        }
        std::printf("seconds=%.9f rows=%llu bytes=%llu check=%llu unprepared=%zu\n",
                    std::chrono::duration<double>(timed).count(),
                    static_cast<unsigned long long>(touched.rows), static_cast<unsigned long long>(touched.bytes),
                    static_cast<unsigned long long>(touched.check), statements.refused());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "floor: %s\n", error.what());
        return 1;
    }
}
