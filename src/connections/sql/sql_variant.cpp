#include "connections/sql/sql_variant.hpp"

namespace nelvor::sql {

namespace {
const SqlVariant* installed = nullptr;
}

void install_variant(const SqlVariant& v) { installed = &v; }

const SqlVariant& variant() { return *installed; }

}  // namespace nelvor::sql
