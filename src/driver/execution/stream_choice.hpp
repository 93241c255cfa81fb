#pragma once
// Whether a query's rows are built while they arrive: a gain when the server
// is slower than the building, a small cost when the rows come all at once.
// Chosen per text from how its streamed and whole runs went, with a streamed
// run now and then to look anew.
#include <cstdint>

#include "driver/execution/lru_map.hpp"
#include "driver/execution/wait.hpp"

namespace nelvor::driver {

class StreamChoice {
public:
    StreamChoice();

    // `text_hash` identifies the statement text.
    bool should_stream(uint64_t text_hash);
    // A streamed run of the text.
    void record(uint64_t text_hash, const StreamTiming& timing);
    // A run of the text read whole: how long its result took to arrive.
    void record_whole(uint64_t text_hash, double receive_seconds);

private:
    struct Verdict {
        // A text read whole is streamed again after this many runs, at first.
        static constexpr int kProbeEvery = 16;
        bool stream = true;
        int whole_runs = 0;         // since the last streamed run
        int probe_every = kProbeEvery;  // whole runs before the next streamed one
        double building = -1;       // of the last streamed run, in seconds
        double whole_receive = -1;  // of the last run read whole, in seconds
    };
    static bool worth_it(const Verdict& verdict);

    LruMap<uint64_t, Verdict> verdicts_;
};

}  // namespace nelvor::driver
