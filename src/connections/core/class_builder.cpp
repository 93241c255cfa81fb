#include "connections/core/class_builder.hpp"

namespace nelvor::core {

ClassBuilder::ClassBuilder(const char* module_name, const char* class_name) : class_name_(class_name) {
    // Without these the class would claim to live in the import machinery.
    namespace_["__module__"] = module_name;
    namespace_["__qualname__"] = class_name;
}

ClassBuilder& ClassBuilder::attribute(const char* name, nb::handle value) {
    namespace_[name] = value;
    return *this;
}

ClassBuilder& ClassBuilder::doc(const char* text) {
    namespace_["__doc__"] = text;
    return *this;
}

nb::object ClassBuilder::build(nb::tuple bases) {
    nb::object builtins = nb::module_::import_("builtins");
    nb::object cls = builtins.attr("type")(class_name_, bases, namespace_);
    // ABC bases computed their abstract set at creation; recompute in case
    // a base relies on later attachment.
    nb::module_::import_("abc").attr("update_abstractmethods")(cls);
    return cls;
}

nb::object ClassBuilder::wrap(const char* builtin, nb::object function) {
    return nb::module_::import_("builtins").attr(builtin)(function);
}

}  // namespace nelvor::core
