// INSERT, multi-row INSERT and DELETE statement pairs built from records,
// and the conversion of values bound for json columns.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

// Each returns (statement text, parameter tuple).
nb::tuple build_insert_statement(nb::handle self, nb::handle table_name, nb::handle data);
nb::tuple build_bulk_insert_statement(nb::handle self, nb::handle table_name, nb::handle data);
nb::tuple build_delete_statement(nb::handle self, nb::handle table_name, nb::handle data);

nb::object process_value_before_insert(nb::handle self, nb::handle value, nb::handle data_type);

// `self._to_sql_value`, the framework's parameter conversion, looked up once
// for a statement's many values.
class SqlValueConverter {
public:
    explicit SqlValueConverter(nb::handle self);
    nb::object operator()(nb::handle value) const;

private:
    nb::object convert_;
};

}  // namespace nelvor::sql
