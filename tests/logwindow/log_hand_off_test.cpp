// The hand-off of text to the log window from other threads, as the receiver uses it.
#include "logwindow/log_append.h"
#include "logwindow/windows_system_log.h"

#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/failing_wide_buffer.h"
#include "tests/support/failing_window_calls.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::FinishesWithin;
using testsupport::LogWindowTest;
using testsupport::Positions;
using testsupport::WaitUntil;

// "<prefix><number, six digits>" and a line break, `width` units in all.
std::wstring NumberedLine(const wchar_t* prefix, int number, size_t width = 0)
{
    wchar_t digits[16];
    swprintf(digits, 16, L"%06d", number);
    std::wstring line = std::wstring(prefix) + digits + L" ";
    if (line.size() + 1 < width) {
        line.append(width - 1 - line.size(), L'.');
    }
    return line + L"\n";
}

// The view's lines, without their breaks (the view reads a break back as CR LF).
std::vector<std::wstring> LinesOf(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

class LogHandOffTest : public LogWindowTest {
protected:
    ~LogHandOffTest() override
    {
        // Never leave the window thread held: the window could not end.
        SetEvent(release);
        CloseHandle(release);
        CloseHandle(holding);
    }

    // Holds the window thread in one of its own handlers until Release, then
    // runs `then` there.
    void HoldWindowThread(const std::function<void()>& then = [] {})
    {
        ResetEvent(release);
        HANDLE held = holding;
        HANDLE released = release;
        ASSERT_TRUE(PostToWindowThread([held, released, then] {
            SetEvent(held);
            WaitForSingleObject(released, testsupport::kPatienceMs);
            then();
            SetEvent(held);
        }));
        ASSERT_EQ(WaitForSingleObject(holding, testsupport::kPatienceMs), WAIT_OBJECT_0);
    }

    // Returns once the held handler has run `then` and returned.
    void Release()
    {
        SetEvent(release);
        EXPECT_EQ(WaitForSingleObject(holding, testsupport::kPatienceMs), WAIT_OBJECT_0);
    }

    // A message box of the window thread's own, as the window opens when a
    // save fails; the test closes it.
    HWND OpenMessageBox()
    {
        const HWND owner = window;
        EXPECT_TRUE(PostToWindowThread([owner] { MessageBoxW(owner, L"held", L"Syslog", MB_OK); }));
        return testsupport::WaitForOwnedDialog(owner);
    }

    HWND OpenSaveDialog()
    {
        EXPECT_TRUE(testsupport::PostClick(saveButton));
        return testsupport::WaitForDialog(testsupport::kSaveDialogTitle);
    }

    bool Shows(const std::wstring& expected)
    {
        const bool shown = WaitUntil([&] { return ViewText() == expected; });
        if (!shown) {
            ADD_FAILURE() << "the view holds " << ViewText().size() << " units";
        }
        return shown;
    }

    HANDLE holding = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

struct ModalCase {
    const char* name;
    bool messageBox;  // else the Save dialog
    int closeButton;
};

TEST_F(LogHandOffTest, TextsAppearWhileAModalLoopRuns)
{
    const ModalCase cases[] = {
        {"message box", true, IDOK},
        {"save dialog", false, IDCANCEL},
    };
    for (const ModalCase& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        const HWND dialog = row.messageBox ? OpenMessageBox() : OpenSaveDialog();
        ASSERT_NE(dialog, nullptr);

        // One text, then a run from another thread that keeps the window
        // stepping inside the modal loop.
        HandOver(L"first\n");
        EXPECT_TRUE(Shows(L"first\r\n"));
        std::wstring expected = L"first\r\n";
        std::thread sender([this] {
            for (int i = 0; i < 300; ++i) {
                HandOver(NumberedLine(L"burst ", i));
            }
        });
        sender.join();
        for (int i = 0; i < 300; ++i) {
            std::wstring line = NumberedLine(L"burst ", i);
            expected += line.substr(0, line.size() - 1) + L"\r\n";
        }
        EXPECT_TRUE(Shows(expected));
        EXPECT_TRUE(IsWindow(dialog)) << "the texts must show while the loop runs";

        ASSERT_TRUE(testsupport::PressDialogButton(dialog, row.closeButton));
        ASSERT_TRUE(WaitUntil([dialog] { return !IsWindow(dialog); }));
    }
}

// A text of one of the sizes that stress a step (a byte, a datagram's
// most, more than a datagram, most of a view, what a trim keeps), of words,
// with or without line breaks (LF or CR LF, never split across texts).
std::wstring MixedText(std::mt19937& random)
{
    static const size_t kSizes[] = {1, 1024, 1500, 40000, kLogKeepAfterTrim};
    const size_t size = kSizes[random() % std::size(kSizes)];
    const size_t lineEvery = random() % 2 == 0 ? 0 : 40 + random() % 200;
    std::wstring text;
    while (text.size() < size) {
        if (lineEvery > 0 && text.size() % lineEvery == lineEvery - 1) {
            text += random() % 2 == 0 || text.size() + 2 > size ? L"\n" : L"\r\n";
        } else {
            text += static_cast<wchar_t>(text.size() % 7 == 6 ? L' ' : L'a' + random() % 26);
        }
    }
    return text;
}

// Whatever arrives while the window thread is busy, after each step the view
// is the newest text in order, from a whole line (or from the cut itself
// when no line break follows it closely), within its bound, and no less
// than a trim keeps.
TEST_F(LogHandOffTest, EveryStepShowsTheNewestTextWithinTheBound)
{
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(testsupport::Click(clearButton));
        std::mt19937 random(seed);
        std::mutex order;
        std::wstring sent;  // in the order handed over
        for (int step = 0; step < 3; ++step) {
            HoldWindowThread();
            auto send = [&](unsigned threadSeed) {
                std::mt19937 own(threadSeed);
                for (int i = 0; i < 3; ++i) {
                    const std::wstring text = MixedText(own);
                    std::lock_guard<std::mutex> guard(order);
                    HandOver(text);
                    sent += Positions(text);
                }
            };
            std::thread first(send, random());
            std::thread second(send, random());
            first.join();
            second.join();
            Release();
            ASSERT_TRUE(Settled());

            const std::wstring shown = Positions(ViewText());
            ASSERT_LE(shown.size(), kLogTrimAbove + kLogMostPastTrim);
            const size_t kept = log->logView->Path() == LogViewPath::Wine
                                    ? kLogWineKeptAfterNewControl
                                    : kLogKeepAfterTrim;
            ASSERT_GE(shown.size(), std::min(sent.size(), kept - kLogFarthestBreak));
            ASSERT_TRUE(sent.ends_with(shown)) << "step " << step;
            const size_t start = sent.size() - shown.size();
            if (start > 0 && sent[start - 1] != L'\r') {
                EXPECT_GE(shown.find(L'\r'), kLogFarthestBreak) << "cut before a near line break";
            }
        }
    }
}

TEST_F(LogHandOffTest, TextsFromTwoThreadsKeepTheirOrder)
{
    // Turn by turn, as the banner and status lines (main thread) and the
    // datagrams (transport thread) can come: exactly this text.
    constexpr int kTurns = 100;
    HANDLE mainTurn = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    HANDLE transportTurn = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::thread main([&] {
        for (int i = 0; i < kTurns; ++i) {
            WaitForSingleObject(mainTurn, testsupport::kPatienceMs);
            AppendUtf8ToLog(i == 0 ? "Syslog\r\n" : "Listening on UDP port 514.\r\n");
            SetEvent(transportTurn);
        }
    });
    std::thread transport([&] {
        for (int i = 0; i < kTurns; ++i) {
            WaitForSingleObject(transportTurn, testsupport::kPatienceMs);
            HandOver(NumberedLine(L"<13>datagram ", i));
            SetEvent(mainTurn);
        }
    });
    main.join();
    transport.join();
    CloseHandle(mainTurn);
    CloseHandle(transportTurn);
    std::wstring expected;
    for (int i = 0; i < kTurns; ++i) {
        expected += i == 0 ? L"Syslog\r\n" : L"Listening on UDP port 514.\r\n";
        const std::wstring line = NumberedLine(L"<13>datagram ", i);
        expected += line.substr(0, line.size() - 1) + L"\r\n";
    }
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ViewText(), expected);

    // Both at once: each thread's texts whole and in its own order.
    ASSERT_TRUE(testsupport::Click(clearButton));
    constexpr int kEach = 500;
    std::thread first([this] {
        for (int i = 0; i < kEach; ++i) {
            HandOver(NumberedLine(L"a", i));
        }
    });
    std::thread second([this] {
        for (int i = 0; i < kEach; ++i) {
            HandOver(NumberedLine(L"b", i));
        }
    });
    first.join();
    second.join();
    ASSERT_TRUE(Settled());
    int next[2] = {0, 0};
    for (const std::wstring& line : LinesOf(ViewText())) {
        ASSERT_FALSE(line.empty());
        const int from = line[0] == L'a' ? 0 : 1;
        const std::wstring expectedLine = NumberedLine(from == 0 ? L"a" : L"b", next[from]++);
        ASSERT_EQ(line, expectedLine.substr(0, expectedLine.size() - 1));
    }
    EXPECT_EQ(next[0], kEach);
    EXPECT_EQ(next[1], kEach);
}

// Texts are shown even when the window cannot be woken for them, or cannot
// set itself the timer to look again: it looks whenever it is idle.
TEST_F(LogHandOffTest, TextsAreShownWhenTheWindowCannotBeWokenOrTimed)
{
    struct Case {
        const char* name;
        std::atomic<bool>* failure;
    };
    const Case cases[] = {
        {"wake not posted", &gFailWakePosts},
        {"look-again timer refused", &gFailLookAgainTimers},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        *row.failure = true;
        std::wstring expected;
        std::thread sender([this] {
            for (int i = 0; i < 300; ++i) {
                HandOver(NumberedLine(L"burst ", i));
            }
        });
        sender.join();
        for (int i = 0; i < 300; ++i) {
            const std::wstring line = NumberedLine(L"burst ", i);
            expected += line.substr(0, line.size() - 1) + L"\r\n";
        }
        EXPECT_TRUE(Shows(expected));
        *row.failure = false;
    }
}

// Text that cannot be kept for want of memory is told in the view, where it
// would have been, once memory allows.
TEST_F(LogHandOffTest, TextThatCouldNotBeKeptIsToldInTheView)
{
    gFailWideBufferGrowth = true;
    HandOver(L"lost text");
    gFailWideBufferGrowth = false;
    Append(L"kept\n");
    EXPECT_EQ(ViewText(), L"\r\nNot enough memory: 9 characters received could not be shown.\r\n"
                          L"kept\r\n");
}

TEST_F(LogHandOffTest, ClearDropsTextsStillWaiting)
{
    Append(L"shown before the press\n");
    // The press comes while texts wait for the held window thread.
    const HWND clear = clearButton;
    HoldWindowThread([clear] { SendMessageW(clear, BM_CLICK, 0, 0); });
    HandOver(L"waiting at the press\n");
    HandOver(L"also waiting\n");
    Release();
    Append(L"after the press");
    EXPECT_EQ(ViewText(), L"after the press");
}

TEST_F(LogHandOffTest, ClosedWindowDropsHandedTexts)
{
    ASSERT_TRUE(testsupport::Close(window));
    HandOver(L"after the close");
    AppendUtf8ToLog("after the close");
    EXPECT_TRUE(log->logView->Settled());
    CLogText waiting;
    log->logView->DrainWaiting(waiting);
    EXPECT_EQ(waiting.Units(), 0u);
}

}  // namespace
