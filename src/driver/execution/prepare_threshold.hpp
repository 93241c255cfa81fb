#pragma once
// The connect keyword prepare_threshold: how many times a statement text runs
// with literals before it is prepared (0: prepared at once), or None for
// never (as a transaction-pooling PgBouncer before 1.21 requires).
#include <nanobind/nanobind.h>

#include <optional>

namespace nelvor::driver {

namespace nb = nanobind;

constexpr int kDefaultPrepareThreshold = 2;

// From the keyword's value: None, a whole number >= 0, or its text ("none" and
// "off" switch preparing off). Raises ValueError for anything else.
std::optional<int> prepare_threshold_from(nb::handle value);

// Without the keyword: NELVOR_PREPARE_THRESHOLD when set, else the default.
std::optional<int> default_prepare_threshold();

}  // namespace nelvor::driver
