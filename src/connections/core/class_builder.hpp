// Builds a real Python class whose bases are the framework's Python classes
// and whose operations are C++ functions. The namespace is filled before the
// class exists, so base-class methods of the same name are simply overridden.
#pragma once

#include <nanobind/nanobind.h>

#include "connections/core/method_docs.hpp"

#include <utility>

namespace nelvor::core {

namespace nb = nanobind;

class ClassBuilder {
public:
    ClassBuilder(const char* module_name, const char* class_name);

    template <typename Func, typename... Extra>
    ClassBuilder& method(const char* name, Func&& func, const Extra&... extra) {
        namespace_[name] = nb::cpp_function(std::forward<Func>(func), nb::is_method(), nb::name(name), extra...);
        return *this;
    }

    // A public operation: its signature and docstring for help() and the stubs.
    template <typename Func, typename... Extra>
    ClassBuilder& method(const char* name, Func&& func, const MethodDoc& doc, const Extra&... extra) {
        namespace_[name] = nb::cpp_function(std::forward<Func>(func), nb::is_method(), nb::name(name),
                                            nb::sig(doc.signature), doc.text, extra...);
        return *this;
    }

    template <typename Func, typename... Extra>
    ClassBuilder& static_method(const char* name, Func&& func, const Extra&... extra) {
        namespace_[name] = wrap("staticmethod", nb::cpp_function(std::forward<Func>(func), nb::name(name), extra...));
        return *this;
    }

    template <typename Func>
    ClassBuilder& readonly_property(const char* name, Func&& func, const MethodDoc& doc) {
        namespace_[name] = wrap("property", nb::cpp_function(std::forward<Func>(func), nb::is_method(), nb::name(name),
                                                             nb::sig(doc.signature), doc.text));
        return *this;
    }

    ClassBuilder& attribute(const char* name, nb::handle value);

    // The class's docstring.
    ClassBuilder& doc(const char* text);

    // Creates the class with `type(name, bases, namespace)`.
    nb::object build(nb::tuple bases);

private:
    static nb::object wrap(const char* builtin, nb::object function);

    const char* class_name_;
    nb::dict namespace_;
};

}  // namespace nelvor::core
