#include "driver/execution/bound_query.hpp"

#include <cctype>

#include "driver/execution/placeholders.hpp"
#include "driver/execution/sql_lexer.hpp"

namespace nelvor::driver {

namespace {

// Removes the last word of `text` (after trailing blanks) when it is `word`,
// ignoring case; false when it is not.
bool drop_last_word(std::string_view& text, std::string_view word) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    if (text.size() < word.size()) return false;
    const std::string_view tail = text.substr(text.size() - word.size());
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(tail[i])) != word[i]) return false;
    }
    text.remove_suffix(word.size());
    return text.empty() || !is_word_char(text.back());
}

// The text so far ends with the operator IS or IS NOT.
bool follows_is(std::string_view text) {
    std::string_view rest = text;
    if (drop_last_word(rest, "IS")) return true;
    rest = text;
    return drop_last_word(rest, "NOT") && drop_last_word(rest, "IS");
}

}  // namespace

std::string BoundQuery::key() const {
    std::string key = text;
    key += '\0';
    const std::vector<Oid>& types = values.types();
    key.append(reinterpret_cast<const char*>(types.data()), types.size() * sizeof(Oid));
    return key;
}

std::optional<BoundQuery> bind_query(const LiteralContext& context, std::string_view query, nb::handle params) {
    const nb::tuple items = parameter_snapshot(params);
    const Py_ssize_t count = static_cast<Py_ssize_t>(items.size());
    if (static_cast<size_t>(count) > kMaxBoundParameters) return std::nullopt;

    BoundQuery bound;
    bound.text.reserve(query.size() + static_cast<size_t>(count) * 2);
    Py_ssize_t next = 0;
    bool after_parameter = false;  // "$1" must not run into a following word
    scan_placeholders(
        query,
        [&](std::string_view piece) {
            if (after_parameter && !piece.empty() && is_word_char(piece.front())) bound.text += ' ';
            after_parameter = false;
            bound.text.append(piece);
        },
        [&] {
            if (next >= count) parameter_count_mismatch(query, count);
            PyObject* value = PyTuple_GET_ITEM(items.ptr(), next++);
            if (follows_is(bound.text) || !bound.values.append(value)) {
                if (after_parameter) bound.text += ' ';
                after_parameter = false;
                append_literal(bound.text, value, context);
                return;
            }
            if (!bound.text.empty() && is_word_char(bound.text.back())) bound.text += ' ';
            bound.text += '$';
            bound.text += std::to_string(bound.values.size());
            after_parameter = true;
        });
    if (next != count) parameter_count_mismatch(query, count);
    return bound;
}

}  // namespace nelvor::driver
