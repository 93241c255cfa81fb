#pragma once
// A query with %s placeholders turned into a text with $n parameters and the
// values to bind to them, for a prepared statement.
#include <nanobind/nanobind.h>

#include <optional>
#include <string>
#include <string_view>

#include "driver/types/bind_values.hpp"
#include "driver/types/literal.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

// The wire protocol counts parameters in 16 bits.
constexpr size_t kMaxBoundParameters = 65535;

struct BoundQuery {
    std::string text;
    BoundValues values;

    // Names one prepared statement: the text and the parameter types, since
    // the same text with other types is planned differently.
    std::string key() const;
};

// "%s" becomes "$n" and "%%" one "%". A placeholder that no parameter can
// stand for keeps its literal: after IS / IS NOT (IS $1 is no SQL), and for
// values without a parameter form (see BoundValues::append). Raises the
// errors rendering raises for the same query and parameters. Returns nullopt
// when there are more parameters than the protocol carries.
std::optional<BoundQuery> bind_query(const LiteralContext& context, std::string_view query, nb::handle params);

}  // namespace nelvor::driver
