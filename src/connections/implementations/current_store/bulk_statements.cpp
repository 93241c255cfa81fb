#include "connections/implementations/current_store/bulk_statements.hpp"

#include "connections/implementations/current_store/bare_column_names.hpp"
#include "connections/implementations/current_store/current_support.hpp"
#include "driver/python_values.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/identifiers.hpp"
#include "connections/sql/record_access.hpp"
#include "connections/sql/statement_builders.hpp"
#include "connections/sql/table_description.hpp"
#include "framework/framework.hpp"

#include <nanobind/stl/string.h>

#include <string>

namespace nelvor::current {

using driver::text_of;

namespace {

// Distinct keys of all records, in order of first appearance.
nb::list field_list(nb::handle data) {
    nb::list fields;
    nb::dict seen;
    for (nb::handle pair : data) {
        nb::object record = pair[1];
        sql::require_map(record, "data");
        sql::append_new_keys(record, seen, fields);
    }
    return fields;
}

std::string column_type(nb::dict description, nb::handle field) {
    if (!description.contains(field))
        throw nb::key_error(("no column " + text_of(field) + " in the table description").c_str());
    return text_of(description[field]);
}

}  // namespace

nb::tuple build_bulk_update_statement(nb::handle self, nb::handle data) {
    nb::object table_name = self.attr("_get_table_name")(data[nb::int_(0)][0]);
    nb::list fields = field_list(data);
    // One list per field plus the object ids, each with one entry per record.
    nb::list ids;
    nb::list columns;
    for (size_t i = 0; i < nb::len(fields); ++i) columns.append(nb::list());
    const sql::SqlValueConverter convert(self);
    const size_t width = nb::len(fields);
    for (nb::handle pair : data) {
        nb::object record = pair[1];
        for (size_t i = 0; i < width; ++i)
            nb::borrow<nb::list>(columns[i]).append(convert(sql::value_or_none(record, fields[i])));
        ids.append(convert(object_id_of(pair[0])));
    }
    nb::dict description = sql::describe_table(self, table_name);

    const std::string table = text_of(table_name);
    const std::string& key = framework::handles().primary_partition_key;
    std::string set_list, derived = "(SELECT unnest(%s::text[]) as ";
    append_column_reference(derived, key);
    for (size_t i = 0; i < nb::len(fields); ++i) {
        const std::string field = text_of(fields[i]);
        if (i) set_list += ", ";
        sql::append_quoted_identifier(set_list, field);
        set_list += " = data_table.";
        append_column_reference(set_list, field);
        derived += ", unnest(%s::" + column_type(description, fields[i]) + "[]) as ";
        append_column_reference(derived, field);
    }
    derived += ") as data_table";

    std::string statement = "UPDATE ";
    sql::append_quoted_identifier(statement, table);
    statement += " SET " + set_list + " FROM " + derived + " WHERE ";
    sql::append_quoted_identifier(statement, table);
    statement += ".";
    append_column_reference(statement, key);
    statement += " = data_table.";
    append_column_reference(statement, key);

    nb::list params;
    params.append(ids);
    for (nb::handle column : columns) params.append(column);
    return nb::make_tuple(nb::str(statement.c_str(), statement.size()), nb::tuple(params));
}

nb::tuple build_bulk_delete_statement(nb::handle self, nb::handle table_name, nb::handle data) {
    sql::require_text(table_name, "table_name");
    sql::require_list(data, "data");
    nb::object fields_map = self.attr("_fields_map");
    nb::handle latest = framework::handles().versions_latest;
    std::string statement = "DELETE FROM ";
    sql::append_quoted_identifier(statement, text_of(table_name));
    statement += " WHERE ";
    const sql::SqlValueConverter convert(self);
    nb::list params;
    size_t group = 0;
    for (nb::handle record : data) {
        sql::require_map(record, "data");
        statement += group++ ? " OR (" : "(";
        size_t position = 0;
        for (nb::handle key : record.attr("keys")()) {
            if (position++) statement += " AND ";
            sql::append_quoted_identifier(statement, text_of(fields_map(table_name, key, latest)));
            statement += " = %s";
            params.append(convert(record[key]));
        }
        statement += ")";
    }
    return nb::make_tuple(nb::str(statement.c_str(), statement.size()), nb::tuple(params));
}

nb::tuple build_bulk_delete_by_ids_statement(nb::handle self, nb::handle table_name, nb::list ids) {
    nb::object key = self.attr("_fields_map")(table_name, primary_key(), framework::handles().versions_latest);
    std::string statement = "DELETE FROM ";
    sql::append_quoted_identifier(statement, text_of(table_name));
    statement += " WHERE ";
    sql::append_quoted_identifier(statement, text_of(key));
    statement += " = ANY(%s)";
    const sql::SqlValueConverter convert(self);
    nb::list values;
    for (nb::handle id : ids) values.append(convert(id));
    return nb::make_tuple(nb::str(statement.c_str(), statement.size()), nb::make_tuple(values));
}

}  // namespace nelvor::current
