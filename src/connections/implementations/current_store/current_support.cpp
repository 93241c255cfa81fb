#include "connections/implementations/current_store/current_support.hpp"

#include "connections/core/connection_lifecycle.hpp"
#include "connections/core/statement_execution.hpp"
#include "connections/sql/json_column_text.hpp"
#include "connections/sql/record_access.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

namespace nelvor::current {

nb::object resolve_table_name(nb::handle self, nb::handle address) {
    return core::table_schema_manager(self).attr("resolve_table_name")(address);
}

nb::dict prepare_record(nb::handle self, nb::handle table_name, nb::handle description, nb::handle record,
                        bool json_as_text) {
    nb::dict columns = nb::borrow<nb::dict>(description);
    nb::dict prepared;
    sql::for_each_key(record, [&](nb::handle key) {
        PyObject* data_type = sql::column_type(self, table_name, columns, key);
        if (data_type == nullptr) return;
        nb::object value = sql::value_or_none(record, key);
        nb::object text = json_as_text ? sql::json_column_text(value, data_type) : nb::object();
        nb::object stored = text.is_valid() ? std::move(text) : sql::process_value_before_insert(self, value, data_type);
        if (PyDict_SetItem(prepared.ptr(), key.ptr(), stored.ptr()) < 0) throw nb::python_error();
    });
    return prepared;
}

nb::object run_statement(nb::handle self, nb::handle statement_pair) {
    return core::execute(self, statement_pair[0], statement_pair[1]);
}

nb::object object_id_of(nb::handle address) { return address.attr("object_id"); }

nb::str primary_key() {
    const std::string& key = framework::handles().primary_partition_key;
    return nb::str(key.c_str(), key.size());
}

}  // namespace nelvor::current
