#include "driver/execution/reply_spin.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "driver/execution/cpu_wait.hpp"

namespace nelvor::driver {

namespace {

constexpr size_t kRemembered = 256;
// The CPU time one wait may spend reading before it sleeps: about four
// wake-ups, so that a statement with a longer server time soon sleeps.
constexpr double kSpinSeconds = 0.0002;
// The first runs of a text alternate between the two ways.
constexpr int kTrialRuns = 8;
// Later, every this many runs go the other way, to notice a change (a
// statement that got faster or slower). A run the wrong way costs one or two
// wake-ups, so not often: busy cores are noticed by the CPU wait below, and a
// statement that got slower shows in the times of the way it waits.
constexpr int kRecheckEvery = 128;
// Spinning costs CPU: it has to answer clearly sooner to be chosen.
constexpr double kSpinMustSave = 0.9;
// Every this many runs the thread's wait for a CPU is looked at; waiting
// for this share of the time means the cores are busy, and the next this
// many runs sleep at once. While the cores stay busy every look finds it
// again, so a short hold suffices, and a passing blip (another process
// waking for a moment) costs few runs.
constexpr int kCpuCheckEvery = 8;
constexpr double kBusyCoresShare = 0.05;
constexpr int kBusyCoresRuns = 16;

}  // namespace

bool spin_wait_by_default() {
    const char* setting = std::getenv("NELVOR_SPIN_WAIT");
    if (setting == nullptr || *setting == '\0') return true;
    std::string text(setting);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    if (text == "on" || text == "1" || text == "true" || text == "yes") return true;
    if (text == "off" || text == "0" || text == "false" || text == "no") return false;
    throw std::invalid_argument("NELVOR_SPIN_WAIT must be on or off, not '" + std::string(setting) + "'");
}

ReplySpin::ReplySpin() : texts_(kRemembered) {}

void ReplySpin::Recent::add(double seconds) {
    times_[next_] = seconds;
    next_ = (next_ + 1) % times_.size();
}

double ReplySpin::Recent::best() const {
    double best = -1;
    for (const double time : times_) {
        if (time >= 0 && (best < 0 || time < best)) best = time;
    }
    return best;
}

bool ReplySpin::spin_wins(const Replies& replies) {
    const double spun = replies.spun.best();
    const double slept = replies.slept.best();
    return spun >= 0 && slept >= 0 && spun < kSpinMustSave * slept;
}

double ReplySpin::budget(uint64_t text_hash) {
    Replies& replies = texts_.find_or_add(text_hash);
    const int run = replies.runs++;
    if (++runs_since_cpu_check_ >= kCpuCheckEvery) {
        runs_since_cpu_check_ = 0;
        const std::optional<double> waited = cpu_wait_share();
        if (waited && *waited >= kBusyCoresShare) busy_cores_runs_ = kBusyCoresRuns;
    }
    if (busy_cores_runs_ > 0) {
        --busy_cores_runs_;
        return 0;
    }
    bool spin = run < kTrialRuns ? run % 2 == 0 : spin_wins(replies);
    if (run >= kTrialRuns && run % kRecheckEvery == 0) spin = !spin;
    return spin ? kSpinSeconds : 0;
}

void ReplySpin::record(uint64_t text_hash, bool spun, double reply_seconds) {
    Replies* replies = texts_.find(text_hash);
    if (replies == nullptr) return;  // forgotten meanwhile
    (spun ? replies->spun : replies->slept).add(reply_seconds);
}

}  // namespace nelvor::driver
