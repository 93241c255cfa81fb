#include "connections/sql/operator_map.hpp"

#include "driver/python_values.hpp"
#include "driver/types/json_decode.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::sql {

using namespace nb::literals;

namespace {

nb::handle null_test_template, membership_template;

bool is_bool(nb::handle value) { return PyBool_Check(value.ptr()); }

// JSON text of a list; a malformed text is a ValueError.
nb::object decode_json(nb::handle value) {
    if (!PyUnicode_Check(value.ptr()) && !PyBytes_Check(value.ptr()))
        throw nb::type_error(("the JSON object must be str or bytes, not " +
                              std::string(nb::type_name(value.type()).c_str())).c_str());
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(value.ptr()) ? PyUnicode_AsUTF8AndSize(value.ptr(), &size)
                                                    : PyBytes_AsString(value.ptr());
    if (!text) throw nb::python_error();
    if (PyBytes_Check(value.ptr())) size = PyBytes_Size(value.ptr());
    PyObject* decoded = driver::decode_json(text, static_cast<size_t>(size));
    if (!decoded) throw nb::python_error();
    return nb::steal(decoded);
}

// "= NULL" is never true: None, like a boolean, is compared with IS.
bool is_identity_compared(nb::handle value) { return value.is_none() || is_bool(value); }

nb::str equal_template(nb::handle value) {
    return nb::str(is_identity_compared(value) ? "{field_name} IS %s" : "{field_name} = %s");
}

nb::str not_equal_template(nb::handle value) {
    return nb::str(is_identity_compared(value) ? "{field_name} IS NOT %s" : "{field_name} != %s");
}

nb::str in_template(nb::handle value) {
    size_t count = nb::len(decode_json(value));
    // IN () is not SQL; an empty list matches no row, and its negation every row.
    if (count == 0) return nb::str("FALSE");
    std::string text = "{field_name} IN (";
    for (size_t i = 0; i < count; ++i) text += i ? ",%s" : "%s";
    text += ")";
    return nb::str(text.c_str(), text.size());
}

nb::str null_template(nb::handle value) {
    return nb::str(driver::is_true(value) ? "{field_name} IS NULL" : "{field_name} IS NOT NULL");
}

nb::object upper_text(nb::handle value) { return nb::str(value).attr("upper")(); }

nb::object no_value(nb::handle) { return nb::borrow(framework::handles().NoValue); }

// None is a value like any other here: Python code would take it.
nb::object function(nb::object (*f)(nb::handle), const char* name) {
    return nb::cpp_function(f, nb::name(name), "value"_a.none());
}
nb::object function(nb::str (*f)(nb::handle), const char* name) {
    return nb::cpp_function(f, nb::name(name), "value"_a.none());
}

nb::object make_template(nb::handle tmpl, const char* value_template = nullptr, nb::handle modifier = nb::handle()) {
    nb::dict fields;
    fields["template"] = tmpl;
    if (value_template) fields["value_template"] = value_template;
    if (modifier) fields["value_modifier"] = modifier;
    return framework::handles().SqlOperatorTemplate(**fields);
}

}  // namespace

nb::dict build_operator_map() {
    nb::handle lookup = framework::handles().Lookup;
    nb::dict map;
    map[lookup.attr("EQ")] = make_template(function(equal_template, "equal_template"));
    map[lookup.attr("NEQ")] = make_template(function(not_equal_template, "not_equal_template"));
    map[lookup.attr("GT")] = make_template(nb::str("{field_name} > %s"));
    map[lookup.attr("GTE")] = make_template(nb::str("{field_name} >= %s"));
    map[lookup.attr("LT")] = make_template(nb::str("{field_name} < %s"));
    map[lookup.attr("LTE")] = make_template(nb::str("{field_name} <= %s"));
    nb::object in_entry = make_template(function(in_template, "in_template"), nullptr, function(decode_json, "decode_json"));
    map[lookup.attr("IN")] = in_entry;
    membership_template = in_entry.inc_ref();
    nb::str like("{field_name} LIKE %s");
    nb::str upper_like("UPPER({field_name}) LIKE %s");
    map[lookup.attr("CONTAINS")] = make_template(like, "%{value}%");
    map[lookup.attr("ICONTAINS")] = make_template(upper_like, "%{value}%", function(upper_text, "upper_text"));
    map[lookup.attr("STARTSWITH")] = make_template(like, "{value}%");
    map[lookup.attr("ISTARTSWITH")] = make_template(upper_like, "{value}%", function(upper_text, "upper_text"));
    map[lookup.attr("ENDSWITH")] = make_template(like, "%{value}");
    map[lookup.attr("IENDSWITH")] = make_template(upper_like, "%{value}", function(upper_text, "upper_text"));
    nb::object null_entry = make_template(function(null_template, "null_template"), nullptr, function(no_value, "no_value"));
    map[lookup.attr("ISNULL")] = null_entry;
    null_test_template = null_entry.inc_ref();
    return map;
}

bool is_null_test(nb::handle sql_operator_template) { return sql_operator_template.is(null_test_template); }

bool is_membership_test(nb::handle sql_operator_template) { return sql_operator_template.is(membership_template); }

}  // namespace nelvor::sql
