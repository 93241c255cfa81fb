#include "connections/sql/argument_checks.hpp"

#include "framework/framework.hpp"

#include <string>

#include "driver/python_values.hpp"

namespace nelvor::sql {

using driver::is_instance;

namespace {

[[noreturn]] void reject(nb::handle value, const char* argument, const char* expected) {
    throw nb::type_error((std::string("argument '") + argument + "' must be " + expected + ", not " +
                          nb::type_name(value.type()).c_str()).c_str());
}

void require_optional(nb::handle value, nb::handle type, const char* argument, const char* expected) {
    if (!value.is_none() && !is_instance(value, type)) reject(value, argument, expected);
}

bool is_pair(nb::handle item) {
    return (PyTuple_Check(item.ptr()) || PyList_Check(item.ptr())) && PySequence_Size(item.ptr()) == 2;
}

}  // namespace

void require_text(nb::handle value, const char* argument) {
    if (!PyUnicode_Check(value.ptr())) reject(value, argument, "str");
}

void require_map(nb::handle value, const char* argument) {
    if (!driver::is_mapping(value)) reject(value, argument, "a mapping");
}

void require_list(nb::handle value, const char* argument) {
    if (!PyList_Check(value.ptr())) reject(value, argument, "list");
}

void require_address(nb::handle value, const char* argument) {
    if (!is_instance(value, framework::handles().Address)) reject(value, argument, "an Address");
}

void require_addressed_pairs(nb::handle pairs, const char* argument) {
    if (!PyList_Check(pairs.ptr()) && !PyTuple_Check(pairs.ptr()))
        reject(pairs, argument, "a list of (Address, record) pairs");
    for (nb::handle item : pairs) {
        if (!is_pair(item)) continue;
        nb::object address = item[0];
        if (!is_instance(address, framework::handles().Address))
            reject(address, argument, "a list of (Address, record) pairs, holding an Address first");
    }
}

void require_addresses(nb::handle addresses, const char* argument) {
    if (!PyList_Check(addresses.ptr()) && !PyTuple_Check(addresses.ptr())) reject(addresses, argument, "a list");
    for (nb::handle address : addresses)
        if (!is_instance(address, framework::handles().Address)) reject(address, argument, "a list of Address");
}

void require_conditions(nb::handle conditions) {
    require_optional(conditions, framework::handles().Q, "conditions", "a Q or None");
}

void require_query_arguments(nb::handle query_specifier, nb::handle conditions, nb::handle pagination,
                             nb::handle order_by) {
    const auto& fw = framework::handles();
    require_optional(query_specifier, fw.QuerySpecifier, "query_specifier", "a QuerySpecifier or None");
    require_conditions(conditions);
    if (!pagination.is_none() && !is_instance(pagination, fw.NumberPaginator) &&
        !is_instance(pagination, fw.CursorPaginator))
        reject(pagination, "pagination", "a NumberPaginator, a CursorPaginator or None");
    if (order_by.is_none()) return;
    if (!PyList_Check(order_by.ptr()) && !PyTuple_Check(order_by.ptr()))
        reject(order_by, "order_by", "a list of OrderBy or None");
    for (nb::handle item : order_by)
        if (!is_instance(item, fw.OrderBy)) reject(item, "order_by", "a list of OrderBy");
}

}  // namespace nelvor::sql
