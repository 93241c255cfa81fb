#include "driver/module.hpp"

#include "driver/cursor.hpp"
#include "driver/connection.hpp"
#include "driver/errors.hpp"
#include "driver/python_types.hpp"
#include "driver/types/json_encode.hpp"

#include <nanobind/stl/string.h>

namespace nelvor::driver {

void bind_driver(nanobind::module_& module) {
    load_python_types();
    register_driver_errors(module);
    bind_connection(module);
    bind_cursor(module);
    // JSON encoder used by the connection code; exposed for checks from Python.
    module.def("_json_text", &to_json_text, nanobind::arg("value").none(), nanobind::arg("ensure_ascii") = true);
    module.attr("apilevel") = "2.0";
    module.attr("threadsafety") = 2;
    module.attr("paramstyle") = "format";
}

}  // namespace nelvor::driver
