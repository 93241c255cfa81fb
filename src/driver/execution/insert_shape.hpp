#pragma once
// Recognises a multi-row INSERT whose rows are nothing but placeholders,
// `INSERT INTO name (columns) VALUES (%s, %s), (%s, %s)...`, the statement
// bulk writes are made of, so that its rows can travel another way.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nelvor::driver {

struct InsertRows {
    std::string target;  // `name (columns)` as written, usable after COPY
    std::string table;   // `name` as written
    size_t width = 0;    // placeholders per row
    size_t rows = 0;
};

// nullopt unless `query` has exactly that shape with `params` parameters
// filling whole rows, a single table name and a plain column list.
std::optional<InsertRows> multi_row_insert(std::string_view query, size_t params);

}  // namespace nelvor::driver
