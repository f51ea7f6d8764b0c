#include "logwindow/log_pacing.h"

#include <gtest/gtest.h>

namespace {

struct PauseCase {
    uint64_t stepMs;
    bool flood;
    uint64_t pauseMs;
};

// Four times the step while step and pause fit in 450 ms, never less than
// three times it, only as long as the step in a flood, and never over 2 s.
const PauseCase kPauses[] = {
    {0, false, 0},
    {10, false, 40},
    {90, false, 360},
    {100, false, 350},   // 450 - 100 is less than 4x, more than 3x
    {112, false, 338},
    {113, false, 339},   // from here on three times the step
    {300, false, 900},
    {666, false, 1998},
    {667, false, 2000},
    {5000, false, 2000},
    {0, true, 0},
    {100, true, 100},
    {1999, true, 1999},
    {5000, true, 2000},
};

TEST(LogPacingTest, PauseFollowsTheStepsCost)
{
    for (const PauseCase& row : kPauses) {
        EXPECT_EQ(LogStepPauseMs(row.stepMs, row.flood), row.pauseMs)
            << row.stepMs << " ms" << (row.flood ? " in a flood" : "");
    }
}

}  // namespace
