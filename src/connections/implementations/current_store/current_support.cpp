#include "connections/implementations/current_store/current_support.hpp"

#include "connections/core/connection_lifecycle.hpp"
#include "connections/core/statement_execution.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

namespace nelvor::current {

nb::object resolve_table_name(nb::handle self, nb::handle address) {
    return core::table_schema_manager(self).attr("resolve_table_name")(address);
}

nb::dict prepare_record(nb::handle self, nb::handle table_name, nb::handle description, nb::handle record) {
    nb::dict columns = nb::borrow<nb::dict>(description);
    nb::dict prepared;
    for (nb::handle key : record.attr("keys")()) {
        if (!columns.contains(key)) columns = sql::describe_table_with(self, table_name, key);
        if (!columns.contains(key)) continue;
        prepared[key] = sql::process_value_before_insert(self, record[key], columns[key]);
    }
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
