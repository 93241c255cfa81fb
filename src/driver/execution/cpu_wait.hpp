#pragma once
// How much of its time the calling thread spent waiting for a CPU (ready to
// run while every core ran something else), from the kernel's scheduler
// statistics. Each thread is measured from its own previous call.
#include <optional>

namespace nelvor::driver {

// The share (0 to 1) since this thread's previous call; nullopt on its first
// call and where the system does not tell.
std::optional<double> cpu_wait_share();

}  // namespace nelvor::driver
