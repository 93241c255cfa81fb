#include "driver/execution/prepare_threshold.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

#include <nanobind/stl/string.h>

namespace nelvor::driver {

namespace {

// Each message names where the value came from and everything accepted there.
constexpr const char* kKeywordAccepts =
    "prepare_threshold must be None, a whole number >= 0, or a text holding one, 'off' or 'none' (any case)";
constexpr const char* kEnvironmentAccepts =
    "the environment variable NELVOR_PREPARE_THRESHOLD must be empty, a whole number >= 0, 'off' or 'none' (any case)";

std::optional<int> threshold_from_text(std::string text, const char* accepts) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    if (text == "none" || text == "off") return std::nullopt;
    int number = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size() || number < 0) {
        throw nb::value_error((std::string(accepts) + ", not '" + text + "'").c_str());
    }
    return number;
}

}  // namespace

std::optional<int> prepare_threshold_from(nb::handle value) {
    if (value.is_none()) return std::nullopt;
    if (PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) {
        const long number = nb::cast<long>(value);
        if (number < 0) throw nb::value_error(kKeywordAccepts);
        return static_cast<int>(std::min<long>(number, 1 << 30));
    }
    if (PyUnicode_Check(value.ptr())) return threshold_from_text(nb::cast<std::string>(value), kKeywordAccepts);
    throw nb::value_error(kKeywordAccepts);
}

std::optional<int> default_prepare_threshold() {
    const char* setting = std::getenv("NELVOR_PREPARE_THRESHOLD");
    if (setting == nullptr || *setting == '\0') return kDefaultPrepareThreshold;
    return threshold_from_text(setting, kEnvironmentAccepts);
}

}  // namespace nelvor::driver
