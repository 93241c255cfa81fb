#include "connections/implementations/current_store/current_revert.hpp"

#include "connections/core/revert_log.hpp"
#include "connections/implementations/current_store/record_writes.hpp"
#include "framework/framework.hpp"

namespace nelvor::current {

namespace {

// An insert is undone by a delete, an update by writing the old record back,
// a delete by inserting the old record again.
void undo(nb::handle self, nb::handle entry) {
    const auto& fw = framework::handles();
    nb::object operation = entry[0], address = entry[1], data = entry[2];
    if (operation.equal(fw.modify_create))
        delete_record(self, address);
    else if (operation.equal(fw.modify_update))
        update(self, address, data);
    else if (operation.equal(fw.modify_delete))
        insert(self, address, data);
}

}  // namespace

void revert(nb::handle self) {
    core::revert_innermost_level(self, [self](nb::handle entry) { undo(self, entry); });
}

}  // namespace nelvor::current
