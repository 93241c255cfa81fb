#include "driver/types/copy_text.hpp"

#include "driver/types/type_oids.hpp"

namespace nelvor::driver {

using namespace type_oid;

namespace {

bool is_integer_column(Oid type) { return type == kInt2 || type == kInt4 || type == kInt8; }

bool is_inexact_column(Oid type) { return type == kFloat4 || type == kFloat8 || type == kNumeric; }

bool is_integer_text(std::string_view text) {
    size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
    if (at == text.size()) return false;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') return false;
    }
    return true;
}

// A numeric value reaches float and numeric columns through its text (the
// server's casts print it and read it back), so the text read directly by
// the column gives the same; an integer also reaches integer columns intact.
bool same_as_assignment(std::string_view text, Oid bound, Oid column) {
    if (bound == kUnknown || bound == column) return true;  // the column's input reads the text either way
    if (bound == kInt4 || bound == kInt8 || bound == kNumeric) {
        if (is_inexact_column(column)) return true;
        return is_integer_column(column) && is_integer_text(text);
    }
    if (bound == kFloat8) return column == kFloat4 || column == kNumeric;  // NaN, infinities and -0 only
    return false;
}

void append_escaped(std::string& out, std::string_view text) {
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char* escape = c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
        if (escape == nullptr) continue;
        out.append(text.substr(plain, i - plain));
        out += escape;
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

}  // namespace

bool append_copy_field(std::string& out, const char* value, size_t length, Oid bound, Oid column) {
    if (value == nullptr) {
        out += "\\N";
        return true;
    }
    const std::string_view text(value, length);
    if (!same_as_assignment(text, bound, column)) return false;
    append_escaped(out, text);
    return true;
}

}  // namespace nelvor::driver
