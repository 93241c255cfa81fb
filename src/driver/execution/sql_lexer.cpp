#include "driver/execution/sql_lexer.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace nelvor::driver {

namespace {

// SQL's blanks; no locale lookup per character.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// A character that may begin a quote, a comment or a dollar quote, or end
// the statement: everything else is skipped in runs.
bool may_matter(char c) {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> marks{};
        for (char special : std::string_view(";'\"$-/")) marks[static_cast<unsigned char>(special)] = true;
        return marks;
    }();
    return table[static_cast<unsigned char>(c)];
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // Skips blanks and comments; false at the end of the text.
    bool skip_blank() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (is_blank(c)) {
                ++at_;
            } else if (text_.compare(at_, 2, "--") == 0) {
                const size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else if (text_.compare(at_, 2, "/*") == 0) {
                skip_block_comment();
            } else {
                return true;
            }
        }
        return false;
    }

    char peek() const { return text_[at_]; }
    void advance() { ++at_; }

    std::string word() {
        std::string word;
        while (at_ < text_.size() && is_word_char(text_[at_])) {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(text_[at_++])));
        }
        return word;
    }

    // Moves past the next ';' outside quotes and comments; false when there is none.
    bool skip_past_semicolon() {
        while (skip_blank()) {
            const char c = text_[at_];
            if (c == ';') {
                ++at_;
                return true;
            }
            if (c == '\'') {
                const bool backslashes = at_ > 0 && (text_[at_ - 1] == 'E' || text_[at_ - 1] == 'e') &&
                                         (at_ < 2 || !is_word_char(text_[at_ - 2]));
                skip_quoted('\'', backslashes);
            } else if (c == '"') {
                skip_quoted('"', false);
            } else if (c == '$' && (at_ == 0 || !is_word_char(text_[at_ - 1]))) {
                skip_dollar_quote();
            } else {
                ++at_;
                while (at_ < text_.size() && !may_matter(text_[at_])) ++at_;
            }
        }
        return false;
    }

private:
    void skip_block_comment() {
        int depth = 0;
        while (at_ < text_.size()) {
            if (text_.compare(at_, 2, "/*") == 0) {
                ++depth;
                at_ += 2;
            } else if (text_.compare(at_, 2, "*/") == 0) {
                at_ += 2;
                if (--depth == 0) return;
            } else {
                ++at_;
            }
        }
    }

    void skip_quoted(char quote, bool backslashes) {
        ++at_;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (backslashes && c == '\\') {
                ++at_;
            } else if (c == quote) {
                if (at_ < text_.size() && text_[at_] == quote) {
                    ++at_;  // doubled quote
                } else {
                    return;
                }
            }
        }
    }

    void skip_dollar_quote() {
        size_t end = at_ + 1;
        while (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_')) ++end;
        const bool numbered = end > at_ + 1 && std::isdigit(static_cast<unsigned char>(text_[at_ + 1]));
        if (end >= text_.size() || text_[end] != '$' || numbered) {
            ++at_;  // a positional parameter or a lone '$', not a quote
            return;
        }
        const std::string_view tag = text_.substr(at_, end - at_ + 1);
        const size_t close = text_.find(tag, end + 1);
        at_ = close == std::string_view::npos ? text_.size() : close + tag.size();
    }

    std::string_view text_;
    size_t at_ = 0;
};

// `text` is `upper` in any case.
bool equals_upper(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() &&
           std::equal(text.begin(), text.end(), upper.begin(),
                      [](char c, char u) { return std::toupper(static_cast<unsigned char>(c)) == u; });
}

// `word` (upper case) stands in `text` as a word of its own, in any case.
bool contains_word(std::string_view text, std::string_view word) {
    for (size_t at = 0; at + word.size() <= text.size(); ++at) {
        const size_t end = at + word.size();
        if ((at == 0 || !is_word_char(text[at - 1])) && (end == text.size() || !is_word_char(text[end])) &&
            equals_upper(text.substr(at, word.size()), word)) {
            return true;
        }
    }
    return false;
}

bool keyword_in(const StatementShape& shape, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), shape.keyword) != words.end();
}

}  // namespace

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

StatementShape statement_shape(std::string_view text) {
    Lexer lexer(text);
    StatementShape shape;
    // A query may open with parentheses: (SELECT ...) UNION ...
    while (lexer.skip_blank() && lexer.peek() == '(') lexer.advance();
    shape.keyword = lexer.word();
    if (shape.keyword.empty()) return shape;
    // After the first ';' only blanks, comments and more ';' may follow.
    shape.single = true;
    if (lexer.skip_past_semicolon()) {
        while (lexer.skip_blank()) {
            if (lexer.peek() != ';') {
                shape.single = false;
                break;
            }
            lexer.advance();
        }
    }
    return shape;
}

bool is_preparable(const StatementShape& shape) {
    return shape.single &&
           keyword_in(shape, {"SELECT", "INSERT", "UPDATE", "DELETE", "MERGE", "VALUES", "TABLE", "WITH"});
}

bool returns_rows(const StatementShape& shape) {
    return shape.single && keyword_in(shape, {"SELECT", "VALUES", "TABLE", "WITH"});
}

bool changes_schema(const StatementShape& shape) { return keyword_in(shape, {"ALTER", "CREATE", "DROP"}); }

bool forgets_prepared(std::string_view text, const StatementShape& shape) {
    // The word ALL anywhere: the cache rather forgets too much than keeps a
    // name the server dropped.
    return keyword_in(shape, {"DISCARD", "DEALLOCATE"}) && contains_word(text, "ALL");
}

bool is_bare_begin(std::string_view text) {
    auto trim = [](std::string_view& view) {
        while (!view.empty() && is_blank(view.front())) view.remove_prefix(1);
        while (!view.empty() && is_blank(view.back())) view.remove_suffix(1);
    };
    trim(text);
    if (!text.empty() && text.back() == ';') {
        text.remove_suffix(1);
        trim(text);
    }
    return equals_upper(text, "BEGIN");
}

}  // namespace nelvor::driver
