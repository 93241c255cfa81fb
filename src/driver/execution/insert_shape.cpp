#include "driver/execution/insert_shape.hpp"

#include <cctype>

namespace nelvor::driver {

namespace {

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    void blanks() {
        while (at_ < text_.size() && text_[at_] == ' ') ++at_;
    }

    // "..." with "" inside, or a plain lower-case-or-not unquoted name.
    bool identifier() {
        if (at_ < text_.size() && text_[at_] == '"') {
            for (size_t i = at_ + 1; i < text_.size(); ++i) {
                if (text_[i] != '"') continue;
                if (i + 1 < text_.size() && text_[i + 1] == '"') {
                    ++i;
                    continue;
                }
                at_ = i + 1;
                return true;
            }
            return false;
        }
        const size_t start = at_;
        while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_'))
            ++at_;
        return at_ > start && !std::isdigit(static_cast<unsigned char>(text_[start]));
    }

    // One name, perhaps schema-qualified.
    bool name() {
        if (!identifier()) return false;
        while (literal(".")) {
            if (!identifier()) return false;
        }
        return true;
    }

    // `(a, b)`: the number of columns, 0 when it is no such list.
    size_t columns() {
        if (!literal("(")) return 0;
        size_t count = 0;
        do {
            blanks();
            if (!identifier()) return 0;
            ++count;
            blanks();
        } while (literal(","));
        return literal(")") ? count : 0;
    }

    size_t at() const { return at_; }
    std::string_view rest() const { return text_.substr(at_); }

private:
    std::string_view text_;
    size_t at_ = 0;
};

bool case_insensitive_prefix(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// `(%s, %s), (%s, %s)` for `rows` rows of `width`: the rows part is
// compared whole, which is also what tells it holds nothing else.
bool rows_are_placeholders(std::string_view rows_text, size_t width, size_t rows) {
    std::string row = "(";
    for (size_t i = 0; i < width; ++i) row += i ? ", %s" : "%s";
    row += ")";
    if (rows_text.size() != rows * row.size() + (rows - 1) * 2) return false;
    size_t at = 0;
    for (size_t r = 0; r < rows; ++r) {
        if (r) {
            if (rows_text.substr(at, 2) != ", ") return false;
            at += 2;
        }
        if (rows_text.substr(at, row.size()) != row) return false;
        at += row.size();
    }
    return true;
}

}  // namespace

std::optional<InsertRows> multi_row_insert(std::string_view query, size_t params) {
    if (!case_insensitive_prefix(query, "INSERT INTO ")) return std::nullopt;
    Scanner scanner(query);
    scanner.literal(query.substr(0, 12));
    const size_t target_start = scanner.at();
    if (!scanner.name()) return std::nullopt;
    const size_t table_end = scanner.at();
    scanner.blanks();
    const size_t width = scanner.columns();
    if (width == 0 || params == 0 || params % width != 0) return std::nullopt;
    const size_t target_end = scanner.at();
    scanner.blanks();
    std::string_view rest = scanner.rest();
    if (!case_insensitive_prefix(rest, "VALUES ")) return std::nullopt;
    if (!rows_are_placeholders(rest.substr(7), width, params / width)) return std::nullopt;
    return InsertRows{std::string(query.substr(target_start, target_end - target_start)),
                      std::string(query.substr(target_start, table_end - target_start)), width, params / width};
}

}  // namespace nelvor::driver
