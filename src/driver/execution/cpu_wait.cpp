#include "driver/execution/cpu_wait.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace nelvor::driver {

namespace {

using Clock = std::chrono::steady_clock;

// Linux: "<run time> <run-queue wait time> <slices>", nanoseconds.
class SchedulerStats {
public:
    SchedulerStats() = default;
    ~SchedulerStats() { close_file(); }
    SchedulerStats(const SchedulerStats&) = delete;
    SchedulerStats& operator=(const SchedulerStats&) = delete;

    std::optional<double> share_since_last() {
        // A forked child's thread inherits the file of its parent's thread.
        const pid_t thread = gettid();
        if (thread != owner_) {
            close_file();
            fd_ = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
            owner_ = thread;
            last_waited_.reset();
        }
        const std::optional<uint64_t> waited = waited_nanoseconds();
        const Clock::time_point now = Clock::now();
        std::optional<double> share;
        if (waited && last_waited_) {
            const double elapsed = std::chrono::duration<double, std::nano>(now - last_time_).count();
            if (elapsed > 0) share = static_cast<double>(*waited - *last_waited_) / elapsed;
        }
        last_waited_ = waited;
        last_time_ = now;
        return share;
    }

private:
    std::optional<uint64_t> waited_nanoseconds() const {
        if (fd_ < 0) return std::nullopt;
        char text[96];
        const ssize_t length = pread(fd_, text, sizeof(text) - 1, 0);
        if (length <= 0) return std::nullopt;
        text[length] = '\0';
        char* rest = nullptr;
        std::strtoull(text, &rest, 10);  // the run time
        if (rest == text) return std::nullopt;
        char* end = nullptr;
        const uint64_t waited = std::strtoull(rest, &end, 10);
        if (end == rest) return std::nullopt;
        return waited;
    }

    void close_file() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    pid_t owner_ = 0;  // the thread whose file fd_ is
    std::optional<uint64_t> last_waited_;
    Clock::time_point last_time_;
};

}  // namespace

std::optional<double> cpu_wait_share() {
    // /proc/thread-self names the thread that opens it: one file per thread.
    thread_local SchedulerStats stats;
    return stats.share_since_last();
}

}  // namespace nelvor::driver
