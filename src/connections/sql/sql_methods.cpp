#include "connections/sql/sql_methods.hpp"

#include "connections/sql/nested_fields.hpp"
#include "connections/sql/operator_map.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"

namespace nelvor::sql {

using namespace nb::literals;

namespace {

constexpr core::MethodDoc process_value_doc{
    "def process_value_before_insert(self, value: typing.Any, data_type: str) -> typing.Any",
    "The value as it is passed to the driver for a column of the given data type\n"
    "(information_schema's data_type text): for a json column a str, int or float becomes\n"
    "its JSON text, so that it is stored as a JSON string or number; everything else is\n"
    "returned unchanged (the driver writes dicts and lists as json).\n\n"
    "Raises:\n"
    "    TypeError: data_type is not a str.\n"
    "    ValueError: a NaN or infinite float for a json column."};

}  // namespace

void add_sql_methods(core::ClassBuilder& builder, nb::module_& module) {
    nb::dict operator_map = build_operator_map();
    module.attr("sql_operator_map") = operator_map;
    nb::handle str_type = reinterpret_cast<PyObject*>(&PyUnicode_Type);
    builder.attribute("SQL_OPERATOR_MAP", operator_map)
        .method("_describe_table", &describe_table, "table_name"_a.none())
        .method("_build_insert_statement", &build_insert_statement, "table_name"_a.none(), "data"_a.none())
        .method("_build_bulk_insert_statement", &build_bulk_insert_statement, "table_name"_a.none(), "data"_a.none())
        .method("_build_delete_statement", &build_delete_statement, "table_name"_a.none(), "data"_a.none())
        .method("process_value_before_insert", &process_value_before_insert, process_value_doc,
                "value"_a.none(), "data_type"_a.none())
        .method("_resolve_nested_field_name", &resolve_nested_field_name, "table_name"_a.none(), "field_name"_a.none(),
                "nested_fields"_a.none(), "value_type"_a.none() = nb::borrow(str_type), nb::kw_only(),
                "is_internal_table"_a = false, "use_internal_meta_tables"_a = false)
        .method("_nested_filter_statement", &nested_filter_statement, "table_name"_a.none(), "field_name"_a.none(),
                "nested_fields"_a.none(), "sql_operator_template"_a.none(), "value"_a.none(), "value_type"_a.none(),
                nb::kw_only(), "is_internal_table"_a = false, "use_internal_meta_tables"_a = false);
}

}  // namespace nelvor::sql
