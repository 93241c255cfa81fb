#pragma once
// Serialises the statements of threads sharing one connection. Python code can
// run while a statement is in flight (a signal handler between waits, a
// value's __str__ or tzinfo while its literal is rendered); when that code
// uses the same connection from the same thread, waiting would never end, so
// it is refused. Other threads wait in short slices, answering signals.
#include <atomic>
#include <mutex>
#include <thread>

namespace nelvor::driver {

class StatementLock {
public:
    // Held for one statement; releases the lock when it goes.
    class Guard {
    public:
        explicit Guard(StatementLock& lock) : lock_(&lock) {}
        Guard(Guard&& other) noexcept : lock_(other.lock_) { other.lock_ = nullptr; }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        Guard& operator=(Guard&&) = delete;
        ~Guard() {
            if (lock_ != nullptr) lock_->release();
        }

    private:
        StatementLock* lock_;
    };

    // Called with the GIL held. Raises InterfaceError when this thread holds
    // the lock already, and the pending Python exception when a signal
    // handler raised while waiting for another thread's statement.
    Guard acquire();

private:
    void release();

    std::timed_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

}  // namespace nelvor::driver
