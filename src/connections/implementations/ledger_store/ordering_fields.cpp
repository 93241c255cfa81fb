#include "connections/implementations/ledger_store/ordering_fields.hpp"

#include "driver/python_values.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::ledger {

using driver::is_true;
using driver::text_of;

using namespace nb::literals;

namespace {

bool contains(nb::handle sequence, nb::handle value) {
    int found = PySequence_Contains(sequence.ptr(), value.ptr());
    if (found < 0) throw nb::python_error();
    return found != 0;
}

// "data" of "data__k"; the field name itself when it holds no path.
nb::str first_segment(nb::handle field_name) { return nb::str(nb::str(field_name).attr("split")("__", 1)[0]); }

}  // namespace

nb::list ordering_fields_left_out(nb::handle query_specifier, nb::handle ordering) {
    nb::list missing;
    if (query_specifier.is_none() || ordering.is_none()) return missing;
    nb::object only = query_specifier.attr("only");
    if (only.is_none() || !is_true(only)) return missing;
    const auto& fw = framework::handles();
    nb::object distinct = query_specifier.attr("distinct");
    for (nb::handle item : ordering) {
        nb::str field = first_segment(item.attr("field_name"));
        const std::string name = text_of(field);
        if (name == fw.address_field || name == fw.metadata_field) continue;
        if (contains(only, field) || contains(missing, field)) continue;
        if (!distinct.is_none() && contains(distinct, field)) continue;
        missing.append(field);
    }
    return missing;
}

nb::object specifier_with(nb::handle query_specifier, nb::handle fields) {
    // A new list: the caller's specifier stays as it was.
    nb::list only = nb::steal<nb::list>(PySequence_List(query_specifier.attr("only").ptr()));
    if (!only.is_valid()) throw nb::python_error();
    for (nb::handle field : fields) only.append(field);
    return framework::handles().QuerySpecifier("only"_a = only, "distinct"_a = query_specifier.attr("distinct"));
}

void drop_fields(nb::handle records, nb::handle fields) {
    for (nb::handle record : records) {
        if (!PyDict_Check(record.ptr())) continue;
        for (nb::handle field : fields) {
            if (PyDict_DelItem(record.ptr(), field.ptr()) == 0) continue;
            if (!PyErr_ExceptionMatches(PyExc_KeyError)) throw nb::python_error();
            PyErr_Clear();
        }
    }
}

bool orders_by_nested_value(nb::handle ordering) {
    if (ordering.is_none()) return false;
    const auto& fw = framework::handles();
    const std::string metadata_prefix = fw.metadata_field + "__";
    for (nb::handle item : ordering) {
        std::string name = text_of(item.attr("field_name"));
        // The address parts and the metadata columns are columns of their own,
        // ordered by their values as the merge orders them.
        if (name.starts_with(fw.address_field + "__")) continue;
        if (name.starts_with(metadata_prefix)) name = name.substr(metadata_prefix.size());
        if (name.find("__") != std::string::npos) return true;
    }
    return false;
}

}  // namespace nelvor::ledger
