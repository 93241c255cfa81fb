#include "connections/core/revert_log.hpp"

#include "connections/core/store_context.hpp"
#include "connections/core/transaction_stack.hpp"
#include "driver/python_values.hpp"
#include "framework/framework.hpp"

namespace nelvor::core {

namespace {

void set_revert_enabled(nb::handle self, bool enabled) {
    nb::setattr(self, store().names.is_revert_enabled, nb::bool_(enabled));
}

}  // namespace

bool is_revert_enabled(nb::handle self) {
    return driver::is_true(nb::getattr(self, store().names.is_revert_enabled));
}

void append_revert_entry(nb::handle self, nb::handle entry) {
    nb::borrow<nb::list>(innermost_revert_level(self)).append(entry);
}

bool revert_entries_wanted(nb::handle self) {
    if (!is_revert_enabled(self)) return false;
    innermost_revert_level(self);
    return true;
}

void record_revert_entries(nb::handle self, nb::handle entries) {
    if (nb::len(entries) == 0) return;
    nb::borrow<nb::list>(innermost_revert_level(self)).attr("extend")(entries);
}

void revert_innermost_level(nb::handle self, const std::function<void(nb::handle entry)>& undo) {
    if (!is_revert_enabled(self)) framework::raise_connection_error("Revert is not supported");
    set_revert_enabled(self, false);
    nb::list level = nb::borrow<nb::list>(innermost_revert_level(self));
    // Newest first, over a snapshot, so an undo step cannot disturb the walk.
    nb::list entries = nb::list(level);
    for (size_t i = nb::len(entries); i-- > 0;) undo(entries[i]);
    set_revert_enabled(self, true);
    nb::list levels = nb::borrow<nb::list>(nb::getattr(self, store().names.revert_data));
    levels.attr("pop")();
    // A level opened by SAVEPOINT takes its name along, so that a later rollback()
    // goes back to the enclosing level instead of to the savepoint undone here, which
    // would leave the transaction open with no level left to end it.
    nb::list savepoints = nb::borrow<nb::list>(nb::getattr(self, store().names.savepoints));
    if (nb::len(savepoints) > 0 && nb::len(savepoints) >= nb::len(levels)) savepoints.attr("pop")();
}

}  // namespace nelvor::core
