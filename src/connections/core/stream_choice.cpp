#include "connections/core/stream_choice.hpp"

namespace nelvor::driver {

namespace {

constexpr size_t kRemembered = 256;
// A text read whole is streamed again after this many runs.
constexpr int kProbeEvery = 16;
// Rows arriving faster than this were ready anyway: no building to hide.
constexpr double kNoWaitWorthStreaming = 0.002;

}  // namespace

StreamChoice::StreamChoice() : verdicts_(kRemembered) {}

bool StreamChoice::should_stream(uint64_t text_hash) {
    Verdict* verdict = verdicts_.find(text_hash);
    if (verdict == nullptr || verdict->stream) return true;
    if (++verdict->whole_runs < kProbeEvery) return false;
    verdict->whole_runs = 0;
    return true;
}

void StreamChoice::record(uint64_t text_hash, const StreamTiming& timing) {
    // Streaming paid off when the server kept this process waiting at least
    // as long as the building took: that much building ran under its work.
    const bool paid_off = timing.waited_after_first_row >= kNoWaitWorthStreaming &&
                          timing.waited_after_first_row >= timing.building;
    verdicts_.put(text_hash, Verdict{paid_off, 0});
}

}  // namespace nelvor::driver
