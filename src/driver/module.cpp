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
    // Type objects, constructors and constants, shared with the other module.
    nanobind::module_ dbapi = nanobind::module_::import_("nelvor_pgstore.dbapi");
    for (nanobind::handle name : dbapi.attr("__all__")) module.attr(name) = dbapi.attr(name);
    module.attr("apilevel") = "2.0";
    module.attr("threadsafety") = 2;
    // %s and %(name)s placeholders both work; psycopg2 declares the same.
    module.attr("paramstyle") = "pyformat";
}

}  // namespace nelvor::driver
