// The small differences between the two classes' SQL building, as data.
#pragma once

namespace nelvor::sql {

struct SqlVariant {
    // Historical storage passes field names through the schema registry's
    // field-to-column map; state storage uses them as they are.
    bool maps_field_names;
    // State storage casts nested values through text and has a boolean kind;
    // it also writes the latest-version test in its own form.
    bool state_nested_casts;
};

void install_variant(const SqlVariant& variant);
const SqlVariant& variant();

}  // namespace nelvor::sql
