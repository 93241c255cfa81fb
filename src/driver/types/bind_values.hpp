#pragma once
// Parameter values sent apart from the statement text, each with the type a
// literal of it would have had, so that a bound statement means what the same
// statement with rendered literals means.
#include <libpq-fe.h>
#include <nanobind/nanobind.h>

#include <string>
#include <vector>

namespace nelvor::driver {

namespace nb = nanobind;

class BoundValues {
public:
    // Appends `value` and returns true, or returns false (appending nothing)
    // when the value is of a kind whose literal has no parameter equivalent
    // here; the caller then writes its literal into the text. Raises DataError
    // for a text holding NUL, as rendering does.
    bool append(PyObject* value);

    size_t size() const { return types_.size(); }
    const std::vector<Oid>& types() const { return types_; }

    // Views for libpq, valid while this object is alive and unchanged.
    struct Arrays {
        std::vector<const char*> values;
        std::vector<int> lengths;
        std::vector<int> formats;
    };
    Arrays arrays() const;

private:
    void add(Oid type, std::string_view text, int format = 0);
    void add_null();

    std::vector<Oid> types_;
    std::vector<int> formats_;
    std::vector<size_t> offsets_;  // into storage_; kNull for NULL
    std::vector<size_t> lengths_;
    std::string storage_;

};

}  // namespace nelvor::driver
