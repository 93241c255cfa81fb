#pragma once
// The shapes of the statement texts a connection ran lately. Finding a long
// text's shape means lexing all of it, which costs more than the rest of
// preparing a repeated statement; the same texts come back again and again.
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/execution/lru_map.hpp"
#include "driver/execution/sql_lexer.hpp"

namespace nelvor::driver {

class StatementShapes {
public:
    StatementShapes();

    // The shape of `text`, whose std::hash is `text_hash`.
    StatementShape of(std::string_view text, uint64_t text_hash);

private:
    struct Known {
        std::string text;  // texts with equal hashes must not share a shape
        StatementShape shape;
    };
    LruMap<uint64_t, Known> known_;
};

}  // namespace nelvor::driver
