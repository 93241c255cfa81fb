#pragma once
// Whether a query's rows are worth building while they arrive. That wins
// when the server is slower than the building (the building hides under its
// work) and costs a little when the rows are all there at once (a result per
// row from libpq, more turns). A streamed run that waited for the server
// kept up with it; one that never waited was behind the server or had its
// rows all at once, which the time a whole read takes to arrive tells apart.
// A text read whole is streamed again now and then to look anew, less often
// while its rows are built in next to no time.
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
