#include "connections/implementations/current_store/state_methods.hpp"

namespace nelvor::state {

void add_state_methods(core::ClassBuilder&, nb::module_&) {}

}  // namespace nelvor::state
