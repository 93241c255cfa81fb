#include "connections/sql/field_names.hpp"

#include "connections/sql/argument_checks.hpp"
#include "connections/core/store_context.hpp"
#include "framework/framework.hpp"

#include <nanobind/stl/string.h>

namespace nelvor::sql {

namespace {

nb::str lookup(nb::handle table_name, nb::handle field_name, nb::handle class_version, const char* getter) {
    require_text(table_name, "table_name");
    require_text(field_name, "field_name");
    nb::str table = nb::borrow<nb::str>(table_name);
    nb::object cut = table.attr("split")("_v_", 1)[0];
    nb::object registry_name = cut.attr("lower")();
    nb::object manager = framework::handles().TableSchemasManager();
    nb::object schema = manager.attr(getter)(registry_name, class_version);
    if (schema.is_none() || !nb::bool_(schema))
        schema = manager.attr(getter)(registry_name, framework::handles().versions_latest);
    if (schema.is_none() || !nb::bool_(schema)) return nb::borrow<nb::str>(field_name);
    nb::object entry = schema.attr("get")(field_name, field_name);
    if (!PyUnicode_Check(entry.ptr()))
        throw nb::type_error((std::string("schema map entry for '") + nb::str(field_name).c_str() +
                              "' must be str, not " + nb::type_name(entry.type()).c_str()).c_str());
    return nb::borrow<nb::str>(entry);
}

}  // namespace

nb::str fields_map(nb::handle, nb::handle table_name, nb::handle field_name, nb::handle class_version) {
    return lookup(table_name, field_name, class_version, "get_schemas_map");
}

nb::str field_reverse_map(nb::handle, nb::handle table_name, nb::handle field_name, nb::handle class_version) {
    return lookup(table_name, field_name, class_version, "get_schemas_reverse_map");
}

nb::str column_name(nb::handle self, nb::handle table_name, nb::handle name) {
    if (!core::traits().maps_field_names) return nb::str(name);
    return fields_map(self, table_name, name, framework::handles().versions_latest);
}

std::string column_name(nb::handle self, const std::string& table_name, const std::string& name) {
    if (!core::traits().maps_field_names) return name;
    return nb::cast<std::string>(column_name(self, nb::str(table_name.c_str(), table_name.size()),
                                             nb::str(name.c_str(), name.size())));
}

}  // namespace nelvor::sql
