#include "connections/implementations/ledger_store/record_ordering.hpp"

#include "driver/python_values.hpp"
#include "framework/framework.hpp"

#include <string>

namespace nelvor::ledger {

using driver::text_of;
using driver::to_str;

using namespace nb::literals;

namespace {

std::string record_path(const std::string& field_name) {
    const auto& fw = framework::handles();
    const std::string prefix = fw.address_field + "__";
    if (!field_name.starts_with(prefix)) return field_name;
    const std::string part = field_name.substr(prefix.size());
    if (part == "object_id" || part == "object_version") return fw.metadata_field + "__" + part;
    return fw.metadata_field + "__address__" + part;
}

}  // namespace

nb::object record_ordering(nb::handle order_by) {
    if (order_by.is_none()) return nb::none();
    nb::list ordering;
    for (nb::handle item : order_by) {
        const std::string field_name = text_of(item.attr("field_name"));
        const std::string path = record_path(field_name);
        if (path == field_name) {
            ordering.append(item);
            continue;
        }
        ordering.append(framework::handles().OrderBy("field_name"_a = to_str(path), "desc"_a = item.attr("desc")));
    }
    return ordering;
}

}  // namespace nelvor::ledger
