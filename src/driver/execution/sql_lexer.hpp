#pragma once
// What the driver needs to know of a statement text before sending it: is it
// one statement, and of which kind. A light lexer (quotes, comments and
// dollar quoting skipped), not a parser: its answers only choose between
// equivalent ways of running the text.
#include <string>
#include <string_view>

namespace nelvor::driver {

struct StatementShape {
    bool single = false;   // exactly one statement (a trailing ';' allowed)
    std::string keyword;   // its first word, upper case
};

StatementShape statement_shape(std::string_view text);

// A letter, digit, '_' or '$': a character that continues a word or identifier.
bool is_word_char(char c);

// SELECT, INSERT, UPDATE, DELETE, MERGE, VALUES, TABLE or WITH: the kinds the
// server prepares.
bool is_preparable(const StatementShape& shape);

// A query kind that delivers rows (SELECT, VALUES, TABLE, WITH).
bool returns_rows(const StatementShape& shape);

// ALTER, CREATE or DROP: prepared statements whose result columns changed
// would fail with "cached plan must not change result type".
bool changes_schema(const StatementShape& shape);

// DISCARD ALL or DEALLOCATE ALL: the server forgets every prepared statement.
bool forgets_prepared(std::string_view text, const StatementShape& shape);

// Exactly BEGIN (any case), blanks around it and one ';' after it allowed:
// no options (ISOLATION LEVEL, ...), no comments, no second statement.
bool is_bare_begin(std::string_view text);

}  // namespace nelvor::driver
