// Everything that differs between the two connection classes' shared core.
// Each module fills one of these; the core code reads nothing else.
#pragma once

#include <array>

namespace nelvor::core {

struct StoreTraits {
    const char* module_name;
    const char* class_name;
    // The framework bases, in order: the statement mixin, then the connection base.
    const char* mixin_module;
    const char* mixin_class;
    const char* base_module;
    const char* base_class;
    // Environment variables for host, port, user, password, database, in that order.
    std::array<const char*, 5> environment_variables;
    const char* schema_service_module;
    const char* schema_service_class;
    // The historical store registers its internal tables when prepared.
    bool prepare_registers_internal_tables;

    // SQL building. Field names pass through the schema registry's
    // field-to-column map; otherwise they are the column names.
    bool maps_field_names;
    // A nested value is cast by its exact Python type (not a subclass's base).
    bool nested_cast_exact_type;
    // A nested json value is cast through text: cast((json)::text as type).
    bool nested_cast_through_text;
    // The latest version is the one whose next_version equals the text of a
    // json null (or is empty), not one where it IS NULL.
    bool latest_version_as_json_null;
};

}  // namespace nelvor::core
