// SQL expressions for values inside JSON fields ("data__address__city"), the
// address and metadata pseudo-fields, and filters on them.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

nb::str resolve_nested_field_name(nb::handle self, nb::handle table_name, nb::handle field_name,
                                  nb::handle nested_fields, nb::handle value_type, bool is_internal_table,
                                  bool use_internal_meta_tables);

// (condition text, parameter); ("", None) when there is no condition.
nb::tuple nested_filter_statement(nb::handle self, nb::handle table_name, nb::handle field_name,
                                  nb::handle nested_fields, nb::handle sql_operator_template, nb::handle value,
                                  nb::handle value_type, bool is_internal_table, bool use_internal_meta_tables);

}  // namespace nelvor::sql
