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
};

}  // namespace nelvor::core
