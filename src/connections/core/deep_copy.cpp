#include "connections/core/deep_copy.hpp"

#include "framework/framework.hpp"

#include <unordered_map>

namespace nelvor::core {

namespace {

// Copies already made, by the address of their original: shared parts stay
// shared and a container that holds itself does not recurse forever.
class Copier {
public:
    nb::object copy(nb::handle value) {
        PyObject* object = value.ptr();
        if (is_atomic(object)) return nb::borrow(value);
        auto known = copies_.find(object);
        if (known != copies_.end()) return nb::borrow(known->second);
        if (PyDict_CheckExact(object)) return nested(value, &Copier::copy_dict);
        if (PyList_CheckExact(object)) return nested(value, &Copier::copy_list);
        if (PyTuple_CheckExact(object)) return nested(value, &Copier::copy_tuple);
        // Anything else keeps its own deepcopy behaviour, with the Python memo
        // shared so references to already copied parts stay consistent.
        return framework::handles().deepcopy(value, python_memo());
    }

private:
    // Caller data may nest deeper than the C stack holds: Python's recursion
    // limit ends the walk with a RecursionError first.
    nb::object nested(nb::handle value, nb::object (Copier::*copy_container)(nb::handle)) {
        if (Py_EnterRecursiveCall(" while copying a record") != 0) throw nb::python_error();
        struct Leave {
            ~Leave() { Py_LeaveRecursiveCall(); }
        } leave;
        return (this->*copy_container)(value);
    }

    static bool is_atomic(PyObject* object) {
        return object == Py_None || PyUnicode_CheckExact(object) || PyLong_CheckExact(object) ||
               PyBool_Check(object) || PyFloat_CheckExact(object) || PyBytes_CheckExact(object);
    }

    nb::object remember(nb::handle original, nb::object copy) {
        copies_[original.ptr()] = copy;
        return copy;
    }

    nb::object copy_dict(nb::handle original) {
        nb::dict copy;
        remember(original, copy);
        PyObject *key, *value;
        Py_ssize_t position = 0;
        while (PyDict_Next(original.ptr(), &position, &key, &value)) {
            nb::object key_copy = this->copy(key), value_copy = this->copy(value);
            if (PyDict_SetItem(copy.ptr(), key_copy.ptr(), value_copy.ptr()) < 0) throw nb::python_error();
        }
        return copy;
    }

    nb::object copy_list(nb::handle original) {
        nb::list copy;
        remember(original, copy);
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(original.ptr()); ++i)
            copy.append(this->copy(PyList_GET_ITEM(original.ptr(), i)));
        return copy;
    }

    nb::object copy_tuple(nb::handle original) {
        const Py_ssize_t size = PyTuple_GET_SIZE(original.ptr());
        nb::object copy = nb::steal(PyTuple_New(size));
        bool same = true;
        for (Py_ssize_t i = 0; i < size; ++i) {
            nb::object item = this->copy(PyTuple_GET_ITEM(original.ptr(), i));
            same = same && item.is(PyTuple_GET_ITEM(original.ptr(), i));
            PyTuple_SET_ITEM(copy.ptr(), i, item.release().ptr());
        }
        // Like copy.deepcopy: a tuple of unchanged items is itself.
        return remember(original, same ? nb::borrow(original) : copy);
    }

    nb::dict& python_memo() { return memo_; }

    std::unordered_map<PyObject*, nb::object> copies_;
    nb::dict memo_;
};

}  // namespace

nb::object deep_copy(nb::handle value) { return Copier().copy(value); }

}  // namespace nelvor::core
