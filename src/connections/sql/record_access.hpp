// Reading caller records (any mapping) without a Python method call per key
// when they are plain dicts, as they nearly always are.
#pragma once

#include <nanobind/nanobind.h>

namespace nelvor::sql {

namespace nb = nanobind;

// The record's keys in its iteration order.
template <typename Visit>
void for_each_key(nb::handle record, Visit&& visit) {
    if (PyDict_CheckExact(record.ptr())) {
        PyObject *key, *value;
        Py_ssize_t position = 0;
        while (PyDict_Next(record.ptr(), &position, &key, &value)) visit(nb::handle(key));
        return;
    }
    for (nb::handle key : record.attr("keys")()) visit(key);
}

// `record.get(key)`: None when the key is missing.
nb::object value_or_none(nb::handle record, nb::handle key);

// Appends to `keys` the record's keys not in `seen` yet, in the record's
// order: over many records, the union of their keys in order of first appearance.
void append_new_keys(nb::handle record, nb::dict& seen, nb::list& keys);

}  // namespace nelvor::sql
