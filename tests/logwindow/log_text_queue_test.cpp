#include "logwindow/log_text_queue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

wchar_t* Copy(const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(malloc((text.size() + 1) * sizeof(wchar_t)));
    wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool Push(CLogTextQueue& queue, const std::wstring& text)
{
    wchar_t* copy = Copy(text);
    if (queue.Push(copy, text.size())) {
        return true;
    }
    free(copy);
    return false;
}

// What Take gives, as a string; "(none)" for null.
std::wstring Take(CLogTextQueue& queue, size_t mostUnits)
{
    wchar_t* text = queue.Take(mostUnits);
    if (text == nullptr) {
        return L"(none)";
    }
    std::wstring taken = text;
    free(text);
    return taken;
}

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

TEST(LogTextQueueTest, TakesWholeTextsOldestFirstJoinedUpToTheLimit)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> pushed;
        size_t mostUnits;
        std::vector<std::wstring> takes;
    };
    const Case cases[] = {
        {"empty", {}, 10, {L"(none)"}},
        {"one", {L"abc"}, 10, {L"abc", L"(none)"}},
        {"all fit", {L"ab", L"cd", L"ef"}, 6, {L"abcdef", L"(none)"}},
        {"the next would pass the limit", {L"ab", L"cd", L"ef"}, 5, {L"abcd", L"ef", L"(none)"}},
        {"an oversized text comes alone and whole", {L"abcdefgh", L"ij"}, 3,
         {L"abcdefgh", L"ij", L"(none)"}},
        {"never cut between a pair's halves", {L"a", L"\xD83D\xDE00"}, 2,
         {L"a", L"\xD83D\xDE00", L"(none)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLogTextQueue queue;
        for (const std::wstring& text : c.pushed) {
            ASSERT_TRUE(Push(queue, text));
        }
        for (const std::wstring& expected : c.takes) {
            EXPECT_EQ(Take(queue, c.mostUnits), expected);
        }
        EXPECT_EQ(queue.QueuedBytes(), 0u);
    }
}

TEST(LogTextQueueTest, ReadyEventIsSetExactlyWhileTextsWait)
{
    CLogTextQueue queue;
    ASSERT_NE(queue.ReadyEvent(), nullptr);
    EXPECT_FALSE(IsSet(queue.ReadyEvent()));
    ASSERT_TRUE(Push(queue, L"one"));
    ASSERT_TRUE(Push(queue, L"two"));
    EXPECT_TRUE(IsSet(queue.ReadyEvent()));
    EXPECT_EQ(Take(queue, 3), L"one");
    EXPECT_TRUE(IsSet(queue.ReadyEvent()));
    EXPECT_EQ(Take(queue, 3), L"two");
    EXPECT_FALSE(IsSet(queue.ReadyEvent()));
    ASSERT_TRUE(Push(queue, L"three"));
    queue.Clear();
    EXPECT_FALSE(IsSet(queue.ReadyEvent()));
    EXPECT_EQ(Take(queue, 100), L"(none)");
}

TEST(LogTextQueueTest, FullQueueRefusesUntilTextsAreTaken)
{
    CLogTextQueue queue;
    const std::wstring megabyte(512 * 1024, L'x');  // 1 MiB of UTF-16
    size_t accepted = 0;
    while (Push(queue, megabyte)) {
        ++accepted;
        ASSERT_LE(queue.QueuedBytes(), CLogTextQueue::kMostQueuedBytes);
    }
    // Just under the bound: the node and terminator push the last one over.
    EXPECT_EQ(accepted, CLogTextQueue::kMostQueuedBytes / (1u << 20) - 1);
    EXPECT_EQ(Take(queue, 1).size(), megabyte.size());
    EXPECT_TRUE(Push(queue, megabyte));
    EXPECT_FALSE(Push(queue, megabyte));
}

TEST(LogTextQueueTest, TextsFromAnotherThreadArriveWholeAndInOrder)
{
    CLogTextQueue queue;
    constexpr int kTexts = 20000;
    std::thread producer([&] {
        for (int i = 0; i < kTexts; ++i) {
            const std::wstring text = L"<" + std::to_wstring(i) + L">";
            while (!Push(queue, text)) {
                Sleep(1);
            }
        }
    });
    std::wstring all;
    std::wstring expected;
    for (int i = 0; i < kTexts; ++i) {
        expected += L"<" + std::to_wstring(i) + L">";
    }
    const DWORD deadline = GetTickCount() + 20000;
    while (all.size() < expected.size() && GetTickCount() < deadline) {
        if (WaitForSingleObject(queue.ReadyEvent(), 100) == WAIT_OBJECT_0) {
            const std::wstring taken = Take(queue, 64);
            if (taken != L"(none)") {
                all += taken;
            }
        }
    }
    producer.join();
    EXPECT_TRUE(all == expected) << "received " << all.size() << " of " << expected.size()
                                 << " units";
}

}  // namespace
