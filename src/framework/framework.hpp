// Handles onto the framework's Python types and helpers, imported by module
// path once per extension module and kept for the life of the process.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace nelvor::framework {

namespace nb = nanobind;

struct Handles {
    // nelvor_utils
    nb::handle Versions, versions_latest, versions_all;
    nb::handle Address;
    nb::handle Q;
    nb::handle Lookup;
    nb::handle QuerySpecifier, OrderBy, NumberPaginator, CursorPaginator;
    // nelvor_data
    nb::handle ModifyOperation, modify_create, modify_update, modify_delete;
    nb::handle NelvorConnectionError;
    nb::handle SqlOperatorTemplate, NoValue;
    nb::handle TableSchemasManager;
    nb::handle sort_items;
    // framework constants
    std::string primary_partition_key, secondary_partition_key;
    std::string model_table_alias, metadata_table_alias;
    std::string address_field, metadata_field;
    // standard library
    nb::handle deepcopy, os_environ, random_choices;
};

// Imports everything on the first call; later calls are a pointer read.
const Handles& handles();

// Imports `module_path` and returns its attribute `name` as a new reference.
nb::object import_attr(const char* module_path, const char* name);

[[noreturn]] void raise_connection_error(const std::string& message);

// Raises NelvorConnectionError(message) with the pending Python error as its cause.
[[noreturn]] void raise_connection_error_from(nb::python_error& cause, const std::string& message);

}  // namespace nelvor::framework
