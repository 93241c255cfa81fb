// The revert log as the write operations and `revert` of both classes use it.
// What an entry holds and how it is undone is each store's own.
#pragma once

#include <nanobind/nanobind.h>

#include <functional>

namespace nelvor::core {

namespace nb = nanobind;

bool is_revert_enabled(nb::handle self);

// Appends `entry` to the innermost revert level; IndexError when none is open.
void append_revert_entry(nb::handle self, nb::handle entry);

// A write records its entries only once it has succeeded: an entry for a
// write that failed before reaching the server would undo a record it never
// touched. Before writing: whether entries are wanted, checking with revert
// on that a level is open (IndexError otherwise), so nothing is written then.
bool revert_entries_wanted(nb::handle self);
// After the write: all its entries at once, in order, to the innermost level.
void record_revert_entries(nb::handle self, nb::handle entries);

// Undoes the innermost level newest entry first with revert switched off, then
// switches it on again and drops the level. A failure leaves the flag off and
// the level in place.
void revert_innermost_level(nb::handle self, const std::function<void(nb::handle entry)>& undo);

}  // namespace nelvor::core
