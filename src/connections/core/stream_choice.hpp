#pragma once
// Whether a query's rows are worth building while they arrive. That wins
// when the server is slower than the building (the building hides under its
// work) and costs a little when the rows are all there at once (a result per
// row from libpq, more turns). Each text's last streamed run tells which it
// was; a text read whole is streamed again now and then to look anew.
#include <cstdint>

#include "connections/core/prepared_lru.hpp"
#include "connections/core/wait_query.hpp"

namespace nelvor::driver {

class StreamChoice {
public:
    StreamChoice();

    // `text_hash` identifies the statement text.
    bool should_stream(uint64_t text_hash);
    void record(uint64_t text_hash, const StreamTiming& timing);

private:
    struct Verdict {
        bool stream = true;
        int whole_runs = 0;  // since the last streamed run
    };
    LruMap<uint64_t, Verdict> verdicts_;
};

}  // namespace nelvor::driver
