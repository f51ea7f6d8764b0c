// How long the log view pauses after a step before the next one.
#include "logwindow/log_pacing.h"

#include <algorithm>

namespace {

// After a step the window waits four times as long as the step took before
// the next one, so that while text keeps coming it works a fifth of the
// time, however dear the control's layout...
constexpr uint64_t kPausePerStepTime = 4;
// ...but a step and the pause after it take no more than this together, so
// that new text shows within about half a second...
constexpr uint64_t kStepAndPauseMs = 450;
// ...as long as the window still works no more than a quarter of the time:
// a step that takes longer than about 110 ms pauses three times as long...
constexpr uint64_t kLeastPausePerStepTime = 3;
// ...and during a flood the pause is only as long as the step: longer
// pauses let the socket's queue overflow under Wine, although the receiver
// never waits for the window (seen at 20,000 lines a second: 4% to 30% lost,
// against none).
constexpr uint64_t kPausePerFloodStepTime = 1;
// Whatever a step cost, new text waits no longer than this for the next.
constexpr uint64_t kLongestPauseMs = 2000;

}  // namespace

uint64_t LogStepPauseMs(uint64_t stepMs, bool flood)
{
    if (flood) {
        return std::min(kLongestPauseMs, kPausePerFloodStepTime * stepMs);
    }
    const uint64_t withinBudget = stepMs < kStepAndPauseMs ? kStepAndPauseMs - stepMs : 0;
    const uint64_t pause =
        std::max(kLeastPausePerStepTime * stepMs, std::min(kPausePerStepTime * stepMs, withinBudget));
    return std::min(kLongestPauseMs, pause);
}
