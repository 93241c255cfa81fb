#pragma once
// Whether to wait for a statement's reply by reading the socket for a short
// while before sleeping on it. A process that sleeps takes tens of
// microseconds to wake up when the reply comes (more on a virtual machine),
// as much as a short statement's whole server time; reading without sleeping
// saves that while a core is free. When none is, the reading takes CPU time
// from the server and from this process's own work, which the reply times do
// not show. So each statement text is timed both ways (alternately at first,
// then the other way every so often) and waits the way that answered sooner,
// and nothing reads without sleeping while this thread has recently had to
// wait for a CPU.
#include <array>
#include <cstddef>
#include <cstdint>

#include "driver/execution/lru_map.hpp"

namespace nelvor::driver {

// Whether new connections may read before sleeping: NELVOR_SPIN_WAIT set to
// off, 0, false or no turns it off (on, 1, true, yes or unset: on). Throws
// std::invalid_argument for any other value.
bool spin_wait_by_default();

class ReplySpin {
public:
    ReplySpin();

    // How long to read before sleeping for the next run of the text, in
    // seconds: 0 or a fixed short budget.
    double budget(uint64_t text_hash);
    // How long the run's whole reply took to arrive, waited for as `budget` said.
    void record(uint64_t text_hash, bool spun, double reply_seconds);

private:
    // The last few reply times of one way, in seconds. Their shortest
    // stands for the way: a hiccup only ever makes a reply later.
    class Recent {
    public:
        void add(double seconds);
        double best() const;  // negative when none yet
    private:
        std::array<double, 4> times_{-1, -1, -1, -1};
        size_t next_ = 0;
    };
    struct Replies {
        int runs = 0;
        Recent spun;   // reading first
        Recent slept;  // sleeping at once
    };
    static bool spin_wins(const Replies& replies);

    LruMap<uint64_t, Replies> texts_;
    int runs_since_cpu_check_ = 0;
    int busy_cores_runs_ = 0;  // runs left that sleep at once since the cores were found busy
};

}  // namespace nelvor::driver
