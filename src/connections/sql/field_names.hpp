// Field-name maps: translate between an object's field names and the column
// names the schema registry chose for them.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace nelvor::sql {

namespace nb = nanobind;

// Field name -> column name for a class version; unknown names come back unchanged.
nb::str fields_map(nb::handle self, nb::handle table_name, nb::handle field_name, nb::handle class_version);
// Column name -> field name, the same way.
nb::str field_reverse_map(nb::handle self, nb::handle table_name, nb::handle field_name, nb::handle class_version);

// The column for `name` at the latest class version, as this store names
// columns (mapped in historical storage, unchanged in state storage).
nb::str column_name(nb::handle self, nb::handle table_name, nb::handle name);
std::string column_name(nb::handle self, const std::string& table_name, const std::string& name);

}  // namespace nelvor::sql
