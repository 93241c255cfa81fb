#include "framework/framework.hpp"

#include <nanobind/stl/string.h>

namespace nelvor::framework {

nb::object import_attr(const char* module_path, const char* name) {
    return nb::module_::import_(module_path).attr(name);
}

namespace {

// Module handles live as long as the interpreter; they are never released so
// that no destructor touches Python after finalisation.
nb::handle keep(nb::object object) { return object.release(); }

nb::handle keep_attr(const char* module_path, const char* name) {
    return keep(import_attr(module_path, name));
}

std::string text_attr(const char* module_path, const char* name) {
    return nb::cast<std::string>(import_attr(module_path, name));
}

Handles load() {
    Handles h;
    h.Versions = keep_attr("nelvor_utils.models.enums", "Versions");
    h.versions_latest = keep(h.Versions.attr("LATEST"));
    h.versions_all = keep(h.Versions.attr("ALL"));
    h.Address = keep_attr("nelvor_utils.models.data_models.address", "Address");
    h.Q = keep_attr("nelvor_utils.query.utils", "Q");
    h.Lookup = keep_attr("nelvor_utils.query.enums", "Lookup");
    h.QuerySpecifier = keep_attr("nelvor_utils.query.data_models.query_specifier", "QuerySpecifier");
    h.OrderBy = keep_attr("nelvor_utils.query.data_models.order_by", "OrderBy");
    const char* paginator = "nelvor_utils.query.data_models.paginator";
    h.NumberPaginator = keep_attr(paginator, "NumberPaginator");
    h.CursorPaginator = keep_attr(paginator, "CursorPaginator");

    h.ModifyOperation = keep_attr("nelvor_data.connections.enums", "ModifyOperation");
    h.modify_create = keep(h.ModifyOperation.attr("CREATE"));
    h.modify_update = keep(h.ModifyOperation.attr("UPDATE"));
    h.modify_delete = keep(h.ModifyOperation.attr("DELETE"));
    h.NelvorConnectionError = keep_attr("nelvor_data.connections.errors", "NelvorConnectionError");
    const char* statements = "nelvor_data.connections.implementations.mixins.sqlite_statements_mixin";
    h.SqlOperatorTemplate = keep_attr(statements, "SqlOperatorTemplate");
    h.NoValue = keep_attr(statements, "NoValue");
    h.TableSchemasManager = keep_attr("nelvor_data.table_schemas.manager", "TableSchemasManager");
    h.sort_items = keep_attr("nelvor_data.connections.utils", "sort_items");

    const char* constants = "nelvor_data.connections.constants";
    h.primary_partition_key = text_attr(constants, "PRIMARY_PARTITION_KEY");
    h.secondary_partition_key = text_attr(constants, "SECONDARY_PARTITION_KEY");
    h.model_table_alias = text_attr(constants, "MODEL_TABLE_ALIAS");
    h.metadata_table_alias = text_attr(constants, "METADATA_TABLE_ALIAS");
    h.address_field = text_attr(constants, "ADDRESS_FIELD");
    h.metadata_field = text_attr(constants, "METADATA_FIELD");

    h.deepcopy = keep_attr("copy", "deepcopy");
    h.os_environ = keep_attr("os", "environ");
    h.random_choices = keep_attr("random", "choices");
    return h;
}

}  // namespace

const Handles& handles() {
    static const Handles instance = load();
    return instance;
}

void raise_connection_error(const std::string& message) {
    PyErr_SetObject(handles().NelvorConnectionError.ptr(), nb::str(message.c_str(), message.size()).ptr());
    throw nb::python_error();
}

void raise_connection_error_from(nb::python_error& cause, const std::string& message) {
    // Built from a sized string: a printf-style format would stop at a NUL in the message.
    nb::object error = handles().NelvorConnectionError(nb::str(message.c_str(), message.size()));
    nb::handle cause_value = cause.value();
    PyException_SetCause(error.ptr(), cause_value.inc_ref().ptr());
    PyException_SetContext(error.ptr(), cause_value.inc_ref().ptr());
    PyErr_SetObject(handles().NelvorConnectionError.ptr(), error.ptr());
    throw nb::python_error();
}

}  // namespace nelvor::framework
