#include "connections/core/connection_class.hpp"

#include "connections/core/connection_lifecycle.hpp"
#include "connections/core/statement_execution.hpp"
#include "connections/core/store_context.hpp"
#include "connections/core/transaction_stack.hpp"
#include "framework/framework.hpp"

namespace nelvor::core {

nb::object define_connection_class(nb::module_& module, const StoreTraits& traits, AddStoreMethods add_store_methods) {
    install_store(traits, module);
    module.attr("logger") = store().logger;

    ClassBuilder builder(traits.module_name, traits.class_name);
    builder.attribute("TABLE_SEPARATOR", nb::str("\""));
    builder.attribute("COLUMN_SEPARATOR", nb::str("\""));
    add_lifecycle_methods(builder);
    add_execution_methods(builder);
    add_transaction_methods(builder);
    add_store_methods(builder, module);

    nb::tuple bases = nb::make_tuple(framework::import_attr(traits.mixin_module, traits.mixin_class),
                                     framework::import_attr(traits.base_module, traits.base_class));
    nb::object cls = builder.build(bases);
    set_connection_class(cls);
    module.attr(traits.class_name) = cls;
    return cls;
}

}  // namespace nelvor::core
