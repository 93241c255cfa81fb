#include "driver/execution/quick_replies.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace nelvor::driver {

namespace {

constexpr size_t kRemembered = 256;
// About four wake-ups: longer statements sleep.
constexpr double kSpinSeconds = 0.0002;
// Runs that sleep at once after a reply later than that: a reading that
// waits in vain costs CPU, most of all when the cores are busy.
constexpr int kSleepingRuns = 16;

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

QuickReplies::QuickReplies() : sleeping_runs_(kRemembered) {}

// A new text is read for: its first reply tells how quick it is.
double QuickReplies::spin_seconds(uint64_t text_hash) {
    int& sleeping = sleeping_runs_.find_or_add(text_hash);
    if (sleeping == 0) return kSpinSeconds;
    --sleeping;
    return 0;
}

void QuickReplies::record(uint64_t text_hash, double reply_seconds) {
    if (reply_seconds > kSpinSeconds) sleeping_runs_.put(text_hash, kSleepingRuns);
}

}  // namespace nelvor::driver
