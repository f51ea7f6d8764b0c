// How long the log view pauses after a step before the next one.
#pragma once

#include <cstdint>

// The pause after a step that took `stepMs` (painting included), so that
// while text keeps coming the window thread keeps answering and new text
// shows soon. `flood`: the step had more text than a view keeps.
uint64_t LogStepPauseMs(uint64_t stepMs, bool flood);
