#pragma once
// Whether to read the socket for a moment before sleeping on it. A process
// woken by a reply takes tens of microseconds to run again, about a short
// statement's whole server time. So a text is read for that moment unless one
// of its last few replies came later.
#include <cstdint>

#include "driver/execution/lru_map.hpp"

namespace nelvor::driver {

// Whether new connections may read before sleeping: NELVOR_SPIN_WAIT set to
// off, 0, false or no turns it off (on, 1, true, yes or unset: on). Throws
// std::invalid_argument for any other value.
bool spin_wait_by_default();

class QuickReplies {
public:
    QuickReplies();
    // How long to read before sleeping for the next run of the text, in seconds.
    double spin_seconds(uint64_t text_hash);
    // How long the run's reply took to arrive.
    void record(uint64_t text_hash, double reply_seconds);

private:
    LruMap<uint64_t, int> sleeping_runs_;  // runs left that sleep at once
};

}  // namespace nelvor::driver
