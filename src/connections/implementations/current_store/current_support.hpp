// Small steps every state operation shares: finding the table of an address,
// preparing a record for its columns and running a statement pair.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::current {

namespace nb = nanobind;

// The table of `address`, as the state table-schema service names it.
nb::object resolve_table_name(nb::handle self, nb::handle address);


// A new map, in `record`'s key order, of the keys that are columns of the
// described table, each value converted for its column type; other keys are
// dropped, once the table has been described again for them. `json_as_text`:
// dicts and lists bound for json columns become their JSON text here (bulk
// writes: one C++ encoding each instead of one json.dumps each).
nb::dict prepare_record(nb::handle self, nb::handle table_name, nb::handle description, nb::handle record,
                        bool json_as_text = false);

// Runs (statement text, parameters) through `execute`; returns the cursor.
nb::object run_statement(nb::handle self, nb::handle statement_pair);

nb::object object_id_of(nb::handle address);

// The column holding the object id, as text.
nb::str primary_key();

}  // namespace nelvor::current
