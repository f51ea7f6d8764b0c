#include "logwindow/log_hand_off.h"

#include "logwindow/window_numbers.h"
#include "tests/support/failing_resize_wide_block.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <thread>

namespace {

// "<from><number>" and a line break.
std::wstring Line(wchar_t from, int number)
{
    return from + std::to_wstring(number) + L"\r";
}

std::wstring Taken(CLogHandOff& handOff)
{
    CLogWaitingText taken;
    handOff.Take(taken);
    handOff.StepDone();
    return std::wstring(taken.Text(), taken.Units());
}

// Two senders hand over while the window thread takes what waits: every
// text arrives whole, once, and in its sender's order.
TEST(LogHandOffTest, TextsFromTwoThreadsArriveWholeAndInOrder)
{
    constexpr int kEach = 2000;
    CLogHandOff handOff;
    std::atomic<int> running{2};
    const auto send = [&](wchar_t from) {
        for (int i = 0; i < kEach; ++i) {
            const std::wstring line = Line(from, i);
            handOff.HandOver(line.c_str(), line.size());
        }
        --running;
    };
    std::thread first(send, L'a');
    std::thread second(send, L'b');
    std::wstring all;
    while (running > 0) {
        all += Taken(handOff);
    }
    first.join();
    second.join();
    all += Taken(handOff);
    EXPECT_TRUE(handOff.Settled());
    int next[2] = {0, 0};
    size_t start = 0;
    for (size_t end; (end = all.find(L'\r', start)) != std::wstring::npos; start = end + 1) {
        const std::wstring line = all.substr(start, end + 1 - start);
        const int from = line[0] == L'a' ? 0 : 1;
        ASSERT_EQ(line, Line(from == 0 ? L'a' : L'b', next[from]++));
    }
    EXPECT_EQ(start, all.size());
    EXPECT_EQ(next[0], kEach);
    EXPECT_EQ(next[1], kEach);
}

// One wake per take, however many texts came: a flood must not fill the
// window's queue with wakes.
TEST(LogHandOffTest, OneWakeIsPostedUntilTheWindowThreadTakes)
{
    const HWND target = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    const auto wakes = [target] {
        int count = 0;
        MSG message;
        while (PeekMessageW(&message, target, WM_LOG_WAKE, WM_LOG_WAKE, PM_REMOVE)) {
            ++count;
        }
        return count;
    };
    CLogHandOff handOff;
    handOff.Open(target);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 100; ++i) {
            handOff.HandOver(L"text ", 5);
        }
        EXPECT_EQ(wakes(), 1) << round;
        EXPECT_FALSE(handOff.Settled());
        EXPECT_EQ(Taken(handOff).size(), 500u);
        EXPECT_TRUE(handOff.Settled());
    }
    handOff.Close();
    handOff.HandOver(L"after the close", 15);
    EXPECT_EQ(wakes(), 0);
    EXPECT_TRUE(handOff.Settled());
    DestroyWindow(target);
}

// Text that cannot be kept for want of memory is told where it would have
// been, once memory allows.
TEST(LogHandOffTest, TextThatCouldNotBeKeptIsToldOnceMemoryAllows)
{
    CLogHandOff handOff;
    gFailWideBufferGrowth = true;
    handOff.HandOver(L"lost text", 9);
    handOff.HandOver(L"lost", 4);
    gFailWideBufferGrowth = false;
    handOff.HandOver(L"kept\n", 5);
    EXPECT_EQ(Taken(handOff),
              L"\rNot enough memory: 13 characters received could not be shown.\rkept\r");
    handOff.HandOver(L"next", 4);
    EXPECT_EQ(Taken(handOff), L"next");
}

}  // namespace
