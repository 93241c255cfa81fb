#include "connections/implementations/ledger_store/historical_methods.hpp"

namespace nelvor::ledger {

void add_historical_methods(core::ClassBuilder&, nb::module_&) {}

}  // namespace nelvor::ledger
