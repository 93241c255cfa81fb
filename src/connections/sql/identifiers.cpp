#include "connections/sql/identifiers.hpp"

namespace nelvor::sql {

namespace {

// Statement texts are rendered with %s parameters, so a percent sign inside a
// name is doubled as well; the server sees it once.
void append_quoted(std::string& out, std::string_view text, char quote) {
    out.reserve(out.size() + text.size() + 2);
    out.push_back(quote);
    for (char c : text) {
        if (c == quote || c == '%') out.push_back(c);
        out.push_back(c);
    }
    out.push_back(quote);
}

}  // namespace

void append_quoted_identifier(std::string& out, std::string_view name) { append_quoted(out, name, '"'); }

std::string quote_identifier(std::string_view name) {
    std::string out;
    append_quoted(out, name, '"');
    return out;
}

std::string quote_text(std::string_view text) {
    std::string out;
    append_quoted(out, text, '\'');
    return out;
}

}  // namespace nelvor::sql
