#include <nanobind/nanobind.h>
namespace nb = nanobind;
NB_MODULE(ledger_store, m) {}
