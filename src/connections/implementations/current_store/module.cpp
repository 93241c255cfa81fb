#include <nanobind/nanobind.h>
namespace nb = nanobind;
NB_MODULE(current_store, m) {}
