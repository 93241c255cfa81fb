#include "driver/statement_lock.hpp"

#include <nanobind/nanobind.h>

#include <chrono>

#include "driver/errors.hpp"

namespace nelvor::driver {

namespace nb = nanobind;

namespace {

// Signal handlers run between slices while another thread's statement runs.
constexpr std::chrono::milliseconds kWaitSlice{100};

}  // namespace

StatementLock::Guard StatementLock::acquire() {
    const std::thread::id self = std::this_thread::get_id();
    if (!mutex_.try_lock()) {
        if (owner_.load(std::memory_order_relaxed) == self) {
            raise_error(ErrorKind::InterfaceError,
                        "connection busy: a statement of this connection is still in progress in this thread "
                        "(the connection was used from a signal handler or a callback run during it)");
        }
        bool locked = false;
        while (!locked) {
            {
                nb::gil_scoped_release unlocked;
                locked = mutex_.try_lock_for(kWaitSlice);
            }
            if (!locked && PyErr_CheckSignals() != 0) throw nb::python_error();
        }
    }
    owner_.store(self, std::memory_order_relaxed);
    return Guard(*this);
}

void StatementLock::release() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
}

}  // namespace nelvor::driver
