#include "connections/sql/statement_builders.hpp"

#include "driver/python_values.hpp"
#include "driver/types/json_encode.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/field_names.hpp"
#include "connections/sql/identifiers.hpp"
#include "connections/sql/record_access.hpp"

#include <nanobind/stl/string.h>

#include <cmath>
#include <string>
#include <vector>

namespace nelvor::sql {

using driver::text_of;

namespace {

void append_table(std::string& sql, nb::handle table_name) { append_quoted_identifier(sql, text_of(table_name)); }

void append_placeholders(std::string& sql, size_t count) {
    sql += '(';
    for (size_t i = 0; i < count; ++i) sql += i ? ", %s" : "%s";
    sql += ')';
}

nb::tuple statement_pair(const std::string& sql, nb::handle params) {
    return nb::make_tuple(nb::str(sql.c_str(), sql.size()), nb::tuple(params));
}

}  // namespace

SqlValueConverter::SqlValueConverter(nb::handle self) {
    static const nb::handle name = driver::interned("_to_sql_value");
    convert_ = self.attr(name);
}

nb::object SqlValueConverter::operator()(nb::handle value) const {
    PyObject* converted = PyObject_CallOneArg(convert_.ptr(), value.ptr());
    if (converted == nullptr) throw nb::python_error();
    return nb::steal(converted);
}

namespace {

// Appends each key of `data` as its quoted column followed by `suffix`,
// separated by `separator`, and its converted value to `params`; returns the count.
size_t append_keyed_columns(nb::handle self, nb::handle table_name, nb::handle data, std::string& sql,
                            nb::list& params, const char* separator, const char* suffix) {
    const SqlValueConverter convert(self);
    size_t count = 0;
    for (nb::handle key : data.attr("keys")()) {
        if (count++) sql += separator;
        append_quoted_identifier(sql, text_of(column_name(self, table_name, key)));
        sql += suffix;
        params.append(convert(data[key]));
    }
    return count;
}

// `verb` and the table of a statement on one record, its arguments checked.
std::string one_record_statement(const char* verb, nb::handle table_name, nb::handle data) {
    require_text(table_name, "table_name");
    require_map(data, "data");
    std::string sql = verb;
    append_table(sql, table_name);
    return sql;
}

}  // namespace

nb::tuple build_insert_statement(nb::handle self, nb::handle table_name, nb::handle data) {
    std::string sql = one_record_statement("INSERT INTO ", table_name, data);
    sql += " (";
    nb::list params;
    size_t count = append_keyed_columns(self, table_name, data, sql, params, ", ", "");
    sql += ") VALUES ";
    append_placeholders(sql, count);
    return statement_pair(sql, params);
}

nb::tuple build_bulk_insert_statement(nb::handle self, nb::handle table_name, nb::handle data) {
    require_text(table_name, "table_name");
    require_list(data, "data");
    // One column list, in order of first appearance, drives the columns and every row.
    nb::dict seen;
    nb::list columns;
    for (nb::handle record : data) {
        require_map(record, "data");
        append_new_keys(record, seen, columns);
    }
    std::string sql = "INSERT INTO ";
    append_table(sql, table_name);
    sql += " (";
    for (size_t i = 0; i < nb::len(columns); ++i) {
        if (i) sql += ", ";
        append_quoted_identifier(sql, text_of(columns[i]));
    }
    sql += ") VALUES ";
    const size_t width = nb::len(columns);
    const SqlValueConverter convert(self);
    nb::object params = nb::steal(PyTuple_New(static_cast<Py_ssize_t>(width * nb::len(data))));
    if (!params.is_valid()) throw nb::python_error();
    Py_ssize_t at = 0;
    size_t row = 0;
    for (nb::handle record : data) {
        if (row++) sql += ", ";
        append_placeholders(sql, width);
        for (nb::handle column : columns)
            PyTuple_SET_ITEM(params.ptr(), at++, convert(value_or_none(record, column)).release().ptr());
    }
    return nb::make_tuple(nb::str(sql.c_str(), sql.size()), params);
}

nb::tuple build_delete_statement(nb::handle self, nb::handle table_name, nb::handle data) {
    std::string sql = one_record_statement("DELETE FROM ", table_name, data);
    sql += " WHERE ";
    nb::list params;
    append_keyed_columns(self, table_name, data, sql, params, " AND ", " = %s");
    return statement_pair(sql, params);
}

nb::object process_value_before_insert(nb::handle, nb::handle value, nb::handle data_type) {
    require_text(data_type, "data_type");
    // Compared in place: bulk writes ask this for every value.
    if (PyUnicode_CompareWithASCIIString(data_type.ptr(), "json") != 0) return nb::borrow(value);
    if (PyUnicode_Check(value.ptr()) || PyLong_Check(value.ptr()))
        return nb::str(driver::to_json_text(value, true).c_str());
    if (PyFloat_Check(value.ptr())) {
        // A bare real number is not a json literal the server accepts from a
        // parameter of unknown type; write it as JSON text like the others.
        if (!std::isfinite(PyFloat_AS_DOUBLE(value.ptr())))
            throw nb::value_error("JSON has no representation for NaN or infinite numbers");
        return nb::str(driver::to_json_text(value, true).c_str());
    }
    return nb::borrow(value);
}

}  // namespace nelvor::sql
