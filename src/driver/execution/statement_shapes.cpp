#include "driver/execution/statement_shapes.hpp"

namespace nelvor::driver {

namespace {

constexpr size_t kRemembered = 256;

}  // namespace

StatementShapes::StatementShapes() : known_(kRemembered) {}

StatementShape StatementShapes::of(std::string_view text, uint64_t text_hash) {
    if (const Known* known = known_.find(text_hash); known != nullptr && known->text == text) return known->shape;
    StatementShape shape = statement_shape(text);
    known_.put(text_hash, Known{std::string(text), shape});
    return shape;
}

}  // namespace nelvor::driver
