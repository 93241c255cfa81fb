#include "driver/execution/stream_choice.hpp"

#include <algorithm>

namespace nelvor::driver {

namespace {

constexpr size_t kRemembered = 256;
// Building shorter than this has nothing worth hiding.
constexpr double kBuildingWorthHiding = 0.002;
// A streamed run of a small result costs more than the whole read (about 40%
// more for a few rows), so a text whose rows were built in a small part of
// the time worth hiding is looked at less often: each such look doubles
// the spacing, up to kProbeEveryAtMost runs.
constexpr double kBuildingFarBelowWorth = kBuildingWorthHiding / 8;
constexpr int kProbeEveryAtMost = 1024;
// Blocked for at least this share of the building: the server was still
// producing while rows were built, so that building was hidden under it.
constexpr double kWaitShareWorthStreaming = 0.125;
// A whole result that takes at least this share of the building to arrive
// leaves that much building to hide under the server's work, even when the
// building cannot keep up with the server.
constexpr double kReceiveShareWorthStreaming = 0.5;

}  // namespace

StreamChoice::StreamChoice() : verdicts_(kRemembered) {}

bool StreamChoice::should_stream(uint64_t text_hash) {
    Verdict* verdict = verdicts_.find(text_hash);
    if (verdict == nullptr || verdict->stream) return true;
    if (++verdict->whole_runs < verdict->probe_every) return false;
    verdict->whole_runs = 0;
    return true;
}

bool StreamChoice::worth_it(const Verdict& verdict) {
    return verdict.building >= kBuildingWorthHiding && verdict.whole_receive >= 0 &&
           verdict.whole_receive >= kReceiveShareWorthStreaming * verdict.building;
}

void StreamChoice::record(uint64_t text_hash, const StreamTiming& timing) {
    Verdict& verdict = verdicts_.find_or_add(text_hash);
    verdict.building = timing.building;
    verdict.whole_runs = 0;
    // Waiting for the server between batches means the building kept up
    // with it and ran under its work. A process that never waited was behind
    // the server, or the rows were all there at once: only the time a whole
    // result takes to arrive tells which (a whole read measures it).
    const bool kept_up = timing.building >= kBuildingWorthHiding &&
                         timing.waited_after_first_row >= kWaitShareWorthStreaming * timing.building;
    verdict.stream = kept_up || worth_it(verdict);
    const bool far_below = !verdict.stream && timing.building < kBuildingFarBelowWorth;
    verdict.probe_every = far_below ? std::min(2 * verdict.probe_every, kProbeEveryAtMost) : Verdict::kProbeEvery;
}

void StreamChoice::record_whole(uint64_t text_hash, double receive_seconds) {
    Verdict* verdict = verdicts_.find(text_hash);
    if (verdict == nullptr) return;  // never streamed: nothing to compare with
    verdict->whole_receive = receive_seconds;
    verdict->stream = worth_it(*verdict);
    // A result that takes long to arrive (grown, or a slower plan) may now
    // have building worth hiding under it: look again soon.
    if (receive_seconds >= kReceiveShareWorthStreaming * kBuildingWorthHiding) {
        verdict->probe_every = Verdict::kProbeEvery;
    }
}

}  // namespace nelvor::driver
