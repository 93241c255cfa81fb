#include "connections/implementations/ledger_store/distinct_values.hpp"

#include "framework/framework.hpp"

#include <string>

namespace nelvor::ledger {

using namespace nb::literals;

namespace {

nb::object sorted_unique(nb::handle names) {
    return nb::module_::import_("builtins").attr("sorted")(nb::set(names));
}

bool contains(nb::handle list, nb::handle value) {
    int found = PySequence_Contains(list.ptr(), value.ptr());
    if (found < 0) throw nb::python_error();
    return found != 0;
}

// The value under `name`; "__" walks into nested maps, as the in-memory sort does.
nb::object field_value(nb::handle record, nb::handle name) {
    if (PyDict_Check(record.ptr()) && PyDict_Contains(record.ptr(), name.ptr()) == 1) return record[name];
    nb::object current = nb::borrow(record);
    for (nb::handle segment : nb::str(name).attr("split")("__")) {
        if (!PyDict_Check(current.ptr())) return nb::none();
        PyObject* next = PyDict_GetItemWithError(current.ptr(), segment.ptr());
        if (!next) {
            if (PyErr_Occurred()) throw nb::python_error();
            return nb::none();
        }
        current = nb::borrow(next);
    }
    return current;
}

}  // namespace

nb::list distinct_names(nb::handle query_specifier) {
    if (query_specifier.is_none()) return nb::list();
    nb::object distinct = query_specifier.attr("distinct");
    if (distinct.is_none()) return nb::list();
    return nb::list(sorted_unique(distinct));
}

nb::list order_led_by(nb::handle distinct, nb::handle order_by) {
    nb::list ordering = order_by.is_none() ? nb::list() : nb::list(order_by);
    nb::list leading, ordered_names, rest;
    for (nb::handle item : ordering) {
        nb::object name = item.attr("field_name");
        if (!contains(distinct, name)) {
            rest.append(item);
        } else if (!contains(ordered_names, name)) {
            leading.append(item);
            ordered_names.append(name);
        }
    }
    for (nb::handle name : distinct)
        if (!contains(ordered_names, name)) leading.append(framework::handles().OrderBy("field_name"_a = name));
    for (nb::handle item : rest) leading.append(item);
    return leading;
}

nb::list first_of_each_distinct_value(nb::handle records, nb::handle distinct) {
    nb::list kept;
    nb::set seen;
    for (nb::handle record : records) {
        nb::list values;
        for (nb::handle name : distinct) values.append(field_value(record, name));
        // repr, because json values (dicts, lists) are not hashable.
        nb::str key = nb::repr(values);
        if (seen.contains(key)) continue;
        seen.add(key);
        kept.append(record);
    }
    return kept;
}

}  // namespace nelvor::ledger
