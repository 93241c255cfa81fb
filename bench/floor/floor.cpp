// The libpq floor: runs the statement texts our driver sent, exactly as sent,
// and touches every cell of every result without building any Python object.
//
// Usage: floor CONNINFO STATEMENT_FILE
// The file holds records of: one phase byte ('s' setup, 't' timed, 'f' finish),
// the text's length as 4 bytes little-endian, the text. Only the 't' records
// are timed. Prints one line: "seconds=<timed seconds> rows=<n> bytes=<n> check=<n>".
#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
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

struct Record {
    char phase;
    std::string text;
};

struct Touched {
    std::uint64_t rows = 0;
    std::uint64_t bytes = 0;
    std::uint64_t check = 0;
};

std::vector<Record> read_records(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + path);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Record> records;
    std::size_t at = 0;
    while (at < data.size()) {
        if (data.size() - at < 5) throw std::runtime_error("truncated record header");
        const char phase = data[at];
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i)
            length |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1 + i])) << (8 * i);
        at += 5;
        if (data.size() - at < length) throw std::runtime_error("truncated record text");
        records.push_back({phase, data.substr(at, length)});
        at += length;
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

void run(PGconn* connection, const std::string& text, Touched& touched) {
    Result result(PQexec(connection, text.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        throw std::runtime_error(std::string("statement failed: ") + PQerrorMessage(connection));
    touch(result.get(), touched);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CONNINFO STATEMENT_FILE\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<Record> records = read_records(argv[2]);
        Connection connection(PQconnectdb(argv[1]));
        if (!connection || PQstatus(connection.get()) != CONNECTION_OK)
            throw std::runtime_error(std::string("connection failed: ") +
                                     (connection ? PQerrorMessage(connection.get()) : "out of memory"));
        Touched touched;
        Touched untimed;
        std::chrono::steady_clock::duration timed{};
        for (const Record& record : records) {
            if (record.phase != 't') {
                run(connection.get(), record.text, untimed);
                continue;
            }
            const auto started = std::chrono::steady_clock::now();
            run(connection.get(), record.text, touched);
            timed += std::chrono::steady_clock::now() - started;
        }
        std::printf("seconds=%.9f rows=%llu bytes=%llu check=%llu\n",
                    std::chrono::duration<double>(timed).count(),
                    static_cast<unsigned long long>(touched.rows), static_cast<unsigned long long>(touched.bytes),
                    static_cast<unsigned long long>(touched.check));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "floor: %s\n", error.what());
        return 1;
    }
}
