#include "connections/sql/nested_fields.hpp"

#include "connections/core/store_context.hpp"
#include "driver/python_values.hpp"
#include "connections/sql/argument_checks.hpp"
#include "connections/sql/field_names.hpp"
#include "connections/sql/identifiers.hpp"
#include "connections/sql/operator_map.hpp"
#include "framework/framework.hpp"

#include <nanobind/stl/string.h>

#include <optional>
#include <string>
#include <vector>

namespace nelvor::sql {

using driver::text_of;

namespace {

struct Request {
    nb::handle self, table_name;
    std::string table, field, nested;
    bool is_internal_table, use_internal_meta_tables;
};

std::string mapped(const Request& r, const std::string& name) { return column_name(r.self, r.table, name); }

std::string qualified(const std::string& alias, const std::string& column) {
    return alias + "." + quote_identifier(column);
}

std::vector<std::string> split_path(const std::string& path) {
    std::vector<std::string> segments;
    size_t start = 0;
    for (size_t at; (at = path.find("__", start)) != std::string::npos; start = at + 2)
        segments.push_back(path.substr(start, at - start));
    segments.push_back(path.substr(start));
    return segments;
}

const char* cast_type(nb::handle value_type) {
    PyObject* type = value_type.ptr();
    if (!PyType_Check(type)) return "text";
    auto is = [&](PyTypeObject* kind) {
        if (core::traits().nested_cast_exact_type) return type == reinterpret_cast<PyObject*>(kind);
        return PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(type), kind) != 0;
    };
    // Booleans are checked first: in Python they are also integers.
    if (is(&PyBool_Type)) return "boolean";
    if (is(&PyLong_Type)) return "integer";
    if (is(&PyFloat_Type)) return "real";
    return "text";
}

// "->'a'->'b'->>'c'": every step stays json except the last, which yields text.
std::string key_path(const Request& r, const std::string& nested) {
    std::vector<std::string> segments = split_path(nested);
    std::string path;
    for (size_t i = 0; i < segments.size(); ++i) {
        path += i + 1 < segments.size() ? "->" : "->>";
        path += quote_text(mapped(r, segments[i]));
    }
    return path;
}

// The pseudo-field rules; returns a finished expression when one applies,
// otherwise sets the column expression and the remaining path.
std::optional<std::string> resolve_column(const Request& r, std::string& column, std::string& nested) {
    const auto& fw = framework::handles();
    nested = r.nested;
    if (r.is_internal_table) {
        column = r.field;
        return std::nullopt;
    }
    if (r.field == fw.address_field) {
        if (r.nested == "object_id")
            return r.use_internal_meta_tables ? qualified(fw.model_table_alias, fw.primary_partition_key)
                                              : fw.primary_partition_key;
        if (r.use_internal_meta_tables && r.nested == "object_version")
            return qualified(fw.model_table_alias, fw.secondary_partition_key);
        if (!r.use_internal_meta_tables) return std::string();
    }
    if (r.use_internal_meta_tables && r.field == fw.metadata_field) {
        size_t split = r.nested.find("__");
        if (split == std::string::npos) return qualified(fw.metadata_table_alias, r.nested);
        column = qualified(fw.metadata_table_alias, r.nested.substr(0, split));
        nested = r.nested.substr(split + 2);
        return std::nullopt;
    }
    column = qualified(fw.model_table_alias, mapped(r, r.field));
    return std::nullopt;
}

std::string resolve(const Request& r, nb::handle value_type, bool untyped) {
    std::string column, nested;
    if (auto finished = resolve_column(r, column, nested)) return *finished;
    // Mapping an already mapped column changes nothing for a store that does not map names.
    std::string json_value = mapped(r, column) + "::json" + key_path(r, nested);
    // A null test needs no typed cast, and a cast could fail on the value's kind.
    if (untyped) return "(" + json_value + ")";
    const std::string type = cast_type(value_type);
    // The last step (->>) yields the value as text already, without JSON
    // quotes: a quote character at either end is part of the value.
    return core::traits().nested_cast_through_text ? "cast((" + json_value + ")::text as " + type + ")"
                                                   : "cast(" + json_value + " as " + type + ")";
}

Request make_request(nb::handle self, nb::handle table_name, nb::handle field_name, nb::handle nested_fields,
                     bool is_internal_table, bool use_internal_meta_tables) {
    require_text(table_name, "table_name");
    require_text(field_name, "field_name");
    require_text(nested_fields, "nested_fields");
    return {self, table_name, text_of(table_name), text_of(field_name), text_of(nested_fields),
            is_internal_table, use_internal_meta_tables};
}

std::string latest_version_condition(bool use_internal_meta_tables) {
    const std::string m = framework::handles().metadata_table_alias;
    if (core::traits().latest_version_as_json_null) {
        if (use_internal_meta_tables)
            return "(" + m + ".\"next_version\"  = cast('null'::json as text) OR " + m + ".\"next_version\" = '')";
        return "(cast(_metadata::json->'next_version' as text) = cast('null'::json as text) OR "
               "cast(_metadata::json->'next_version' as text) = '')";
    }
    if (use_internal_meta_tables)
        return "(" + m + ".\"next_version\" IS NULL OR " + m + ".\"next_version\" = '')";
    return "(cast(_metadata::json->'next_version' as text) IS NULL OR "
           "trim('\"' FROM cast(_metadata::json->'next_version' as text)) = '')";
}

bool is_version_lookup(nb::handle value, nb::handle value_type) {
    const auto& fw = framework::handles();
    if (value_type.is(fw.Versions)) return true;
    return PyUnicode_Check(value.ptr()) && (value.equal(fw.versions_all) || value.equal(fw.versions_latest));
}

// The kind a nested value is cast to for a filter. For IN the value is JSON
// text of a list; its elements decide, so numbers compare as numbers.
nb::handle filter_value_kind(nb::handle sql_operator_template, nb::handle value) {
    if (!is_membership_test(sql_operator_template)) return value.type();
    nb::object elements = sql_operator_template.attr("build_value")(value);
    if (!PyList_Check(elements.ptr()) || nb::len(elements) == 0) return value.type();
    nb::handle kind = elements[0].type();
    for (nb::handle element : elements)
        if (!element.type().is(kind)) return value.type();
    return kind;
}

nb::tuple no_condition() { return nb::make_tuple(nb::str(""), nb::none()); }

}  // namespace

nb::str resolve_nested_field_name(nb::handle self, nb::handle table_name, nb::handle field_name,
                                  nb::handle nested_fields, nb::handle value_type, bool is_internal_table,
                                  bool use_internal_meta_tables) {
    Request r = make_request(self, table_name, field_name, nested_fields, is_internal_table, use_internal_meta_tables);
    std::string expression = resolve(r, value_type, false);
    return nb::str(expression.c_str(), expression.size());
}

nb::tuple nested_filter_statement(nb::handle self, nb::handle table_name, nb::handle field_name,
                                  nb::handle nested_fields, nb::handle sql_operator_template, nb::handle value,
                                  nb::handle value_type, bool is_internal_table, bool use_internal_meta_tables) {
    const auto& fw = framework::handles();
    Request r = make_request(self, table_name, field_name, nested_fields, is_internal_table, use_internal_meta_tables);
    if (is_version_lookup(value, value_type)) {
        if (value.equal(fw.versions_all)) return no_condition();
        if (r.field == fw.address_field && r.nested == "object_version" && value.equal(fw.versions_latest))
            return nb::make_tuple(nb::str(latest_version_condition(use_internal_meta_tables).c_str()),
                                  nb::borrow(fw.NoValue));
    }
    std::string field = resolve(r, filter_value_kind(sql_operator_template, value), is_null_test(sql_operator_template));
    if (field.empty()) return no_condition();
    const std::string column = mapped(r, field);
    nb::str expression(column.c_str(), column.size());
    nb::object statement = sql_operator_template.attr("build_statement")(expression, value, "", "\"");
    return nb::make_tuple(statement, sql_operator_template.attr("build_value")(value));
}

}  // namespace nelvor::sql
