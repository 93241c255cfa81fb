#include "connections/core/driver_module.hpp"

#include "connections/core/cursor.hpp"
#include "connections/core/driver_connection.hpp"
#include "connections/core/driver_errors.hpp"
#include "connections/core/driver_pytypes.hpp"

namespace nelvor::driver {

void bind_driver(nanobind::module_& module) {
    load_python_types();
    register_driver_errors(module);
    bind_connection(module);
    bind_cursor(module);
    module.attr("apilevel") = "2.0";
    module.attr("threadsafety") = 2;
    module.attr("paramstyle") = "format";
}

}  // namespace nelvor::driver
