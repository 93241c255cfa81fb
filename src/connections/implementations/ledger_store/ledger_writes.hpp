// The write path: every object version is inserted as a new row; a row is
// only ever deleted to undo a write of the current transaction level.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::ledger {

namespace nb = nanobind;

void put(nb::handle self, nb::handle address, nb::handle data);
void bulk_put(nb::handle self, nb::handle data);
void delete_version(nb::handle self, nb::handle address);
void add_revert_data(nb::handle self, nb::handle address, nb::handle data);
// Deletes the rows written in the innermost transaction level, newest first.
void revert(nb::handle self);

}  // namespace nelvor::ledger
