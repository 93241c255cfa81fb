// The public operations as bound: each checks the framework types of its
// arguments first, so a wrong one is a TypeError naming it rather than an
// attribute error from deep inside. Bound with None allowed everywhere, so
// that None is reported the same way.
#pragma once

#include "connections/sql/argument_checks.hpp"

namespace nelvor::sql {

template <auto operation>
nb::list checked_query(nb::handle self, nb::handle address, nb::handle query_specifier, nb::handle conditions,
                       nb::handle pagination, nb::handle order_by) {
    require_address(address, "address");
    require_query_arguments(query_specifier, conditions, pagination, order_by);
    return operation(self, address, query_specifier, conditions, pagination, order_by);
}

template <auto operation>
nb::object checked_count(nb::handle self, nb::handle address, nb::handle conditions) {
    require_address(address, "address");
    require_conditions(conditions);
    return operation(self, address, conditions);
}

template <auto operation>
void checked_record_write(nb::handle self, nb::handle address, nb::handle data) {
    require_address(address, "address");
    require_map(data, "data");
    operation(self, address, data);
}

template <auto operation>
void checked_address_operation(nb::handle self, nb::handle address) {
    require_address(address, "address");
    operation(self, address);
}

template <auto operation>
void checked_pairs_write(nb::handle self, nb::handle data) {
    require_addressed_pairs(data, "data");
    operation(self, data);
}

template <auto operation>
void checked_addresses_operation(nb::handle self, nb::handle addresses) {
    require_addresses(addresses, "addresses");
    operation(self, addresses);
}

}  // namespace nelvor::sql
