#include "connections/core/stream_choice.hpp"

namespace nelvor::driver {

namespace {

constexpr size_t kRemembered = 256;
// A text read whole is streamed again after this many runs.
constexpr int kProbeEvery = 16;
// Blocked on the server less than this: the rows were there anyway, no
// building to hide.
constexpr double kNoWaitWorthStreaming = 0.002;
// Blocked for at least this share of the building: the server was still
// producing while rows were built, so that building was hidden under it.
constexpr double kWaitShareWorthStreaming = 0.125;

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
    // Waiting for the server between batches means the building kept up
    // with it and ran under its work. A process that never waited was
    // behind (or the rows were all there): reading them whole is cheaper.
    const bool paid_off = timing.waited_after_first_row >= kNoWaitWorthStreaming &&
                          timing.waited_after_first_row >= kWaitShareWorthStreaming * timing.building;
    verdicts_.put(text_hash, Verdict{paid_off, 0});
}

}  // namespace nelvor::driver
