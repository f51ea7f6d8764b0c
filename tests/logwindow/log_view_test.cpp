// The log view: what it shows, its trims on each control, and its steps while texts arrive.
#include "logwindow/log_view.h"

#include "logwindow/log_view_rule.h"
#include "tests/logwindow/log_texts.h"
#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/failing_window_calls.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::Lines;
using testsupport::LogControlTest;
using testsupport::LogWindowTest;
using testsupport::Positions;
using testsupport::ReadText;
using testsupport::WaitUntil;
using testsupport::Words;

// What WM_GETTEXT reads back for text that was sent with any line breaks.
std::wstring ReadBack(const std::wstring& sent)
{
    std::wstring out;
    for (wchar_t unit : Positions(sent)) {
        out += unit == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, unit);
    }
    return out;
}

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

class LogViewTest : public LogWindowTest {
protected:
    ~LogViewTest() override
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
        std::atomic<bool>* heldOk = &heldUntilReleased;
        heldUntilReleased = false;
        ASSERT_TRUE(PostToWindowThread([held, released, then, heldOk] {
            SetEvent(held);
            // Bounded, so the window can still end; the test then fails.
            *heldOk = WaitForSingleObject(released, testsupport::kPatienceMs) == WAIT_OBJECT_0;
            then();
            SetEvent(held);
        }));
        ASSERT_EQ(WaitForSingleObject(holding, testsupport::kPatienceMs), WAIT_OBJECT_0);
    }

    // Returns once the held handler has run `then` and returned; fails when
    // it stopped waiting before the release, since what the test did
    // meanwhile was then not done while the window thread was held.
    void Release()
    {
        SetEvent(release);
        EXPECT_EQ(WaitForSingleObject(holding, testsupport::kPatienceMs), WAIT_OBJECT_0);
        EXPECT_TRUE(heldUntilReleased) << "the window thread was let go before the release";
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
    std::atomic<bool> heldUntilReleased{false};
};

struct ShownCase {
    const char* name;
    std::vector<std::wstring> texts;
};

// Every text is given to the view as rich text: none of it may be read as
// such, whatever it holds and wherever it falls in a step.
const ShownCase kShownCases[] = {
    {"banner", {L"Syslog\r\n"}},
    {"texts joined with nothing added", {L"<13>one", L"<13>two", L"three\n"}},
    {"line feeds and carriage returns", {L"a\nb\rc\r\nd\r\r\ne"}},
    {"rich text", {L"{\\rtf1\\ansi{\\fonttbl{\\f0 x;}}\\b bold\\b0}"}},
    {"a lone brace", {L"{"}},
    {"a paragraph mark", {L"\\par", L"\\u65 \\'41"}},
    {"tabs and control characters", {L"a\tb\x01" L"c\x0B" L"d"}},
    {"outside ASCII", {L"caf\u00E9 \u65E5\u672C \xD83D\xDE00 \uFFFD"}},
    {"lone surrogates", {L"\xDE00 high \xD83D", L"\xD83D"}},
    // Text shapers that position a mark against a base before it in its run
    // have read outside the run on these and faulted.
    {"combining marks first in a run", {L"\u05B6", L"x\u05B6", L"\u064E", L"\u05B6\u05D0"}},
    {"a datagram's most", {std::wstring(1023, L'w') + L"!"}},
};

// A fault on the window thread would hand the whole test program to Wine's
// debugger, which keeps it hung: end it at once instead, saying why.
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* exception)
{
    fprintf(stderr, "unhandled exception %08lX at %p on thread %lu\n",
            exception->ExceptionRecord->ExceptionCode,
            exception->ExceptionRecord->ExceptionAddress, GetCurrentThreadId());
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(LogViewTest, TextIsShownExactlyFirstInAStepAndLaterInOne)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER previous =
        SetUnhandledExceptionFilter(EndOnUnhandledException);
    for (const ShownCase& row : kShownCases) {
        SCOPED_TRACE(row.name);
        std::wstring sent;
        for (const std::wstring& text : row.texts) {
            sent += text;
        }
        // Each text a step of its own, then all of them behind other text.
        ASSERT_TRUE(testsupport::Click(clearButton));
        for (const std::wstring& text : row.texts) {
            Append(text);
        }
        EXPECT_EQ(ViewText(), ReadBack(sent));
        Append(L"<13>before " + sent);
        EXPECT_EQ(ViewText(), ReadBack(sent + L"<13>before " + sent));
        // Painted too, as a user sees it.
        RedrawWindow(View(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_TRUE(testsupport::Sync(window));
    }
    SetUnhandledExceptionFilter(previous);
}

struct TrimCase {
    const char* name;
    std::wstring sent;  // fills the view before the append that may trim
    size_t keptFrom;    // the position in `sent` where the view starts afterwards
};

// Each text is 65536 positions long unless its name says otherwise; the first
// cut of a trim then falls at position 10241.
std::vector<TrimCase> TrimCases()
{
    std::vector<TrimCase> cases;
    cases.push_back({"65535 positions are not trimmed", Lines(65535, 100), 0});
    // Lines start at multiples of 100: the next after 10241 starts at 10300.
    cases.push_back({"short lines", Lines(65536, 100), 10300});
    cases.push_back({"short lines sent with CR LF", Lines(65536, 100, L"\r\n"), 10300});
    // Lines far wider than the view: the view wraps them, but the cut must
    // follow a line break of the text.
    cases.push_back({"lines the view wraps", Lines(65536, 1000), 11000});
    // The first cut ends exactly at the start of a line: that line goes too.
    {
        // 10240 and a break, then lines of 999 and a break: the line that
        // starts at 10241 ends with the break at 11240.
        std::wstring sent = Lines(10241, 10241) + Lines(65536 - 10241, 1000);
        cases.push_back({"cut at the start of a line", sent, 11241});
    }
    // The first cut ends on a line break: only that break goes with it.
    {
        std::wstring sent = Words(10241, L'x') + L"\n" + Words(65536 - 10242, L'y');
        cases.push_back({"cut on a line break", sent, 10242});
    }
    // No line break after the cut, as with senders that send none: the first
    // cut alone, leaving 55295 positions.
    {
        std::wstring sent = Lines(5000, 100) + L"\n" + Words(65536 - 5001, L'z');
        cases.push_back({"no line break after the cut", sent, 10241});
    }
    // A line break far after the cut does not count: the view would keep
    // far less than a trim should leave.
    {
        std::wstring sent = Lines(5000, 100) + L"\n" + Words(25000, L'f') + L"\n" +
                            Words(65536 - 30002, L'g');
        cases.push_back({"only a far line break after the cut", sent, 10241});
    }
    // A view of one paragraph, but never cut between the halves of a
    // surrogate pair.
    {
        std::wstring sent = Words(65536, L'q');
        sent[10240] = 0xD83D;
        sent[10241] = 0xDE00;
        cases.push_back({"cut inside a surrogate pair", sent, 10242});
    }
    // The cut falls before a combining mark, or inside a flag: it moves on
    // to where the next character starts.
    {
        std::wstring sent = Words(65536, L'm');
        sent[10241] = 0x0301;
        cases.push_back({"cut before a mark", sent, 10242});
    }
    {
        std::wstring sent = Words(65536, L'r');
        sent.replace(10240, 4, L"\xD83C\xDDEB\xD83C\xDDF7");
        cases.push_back({"cut inside a flag", sent, 10244});
    }
    return cases;
}

CHARFORMAT2W FormatOf(HWND view, WPARAM which)
{
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_SIZE | CFM_FACE;
    SendMessageW(view, EM_GETCHARFORMAT, which, reinterpret_cast<LPARAM>(&format));
    return format;
}

using LogViewTrimTest = LogControlTest;

// A trim inside a 64K paragraph of Windows' control takes Wine seconds, and
// far longer on a loaded machine.
constexpr DWORD kDearStepPatienceMs = 4 * testsupport::kPatienceMs;

// The rule on each control: 65,535 stay, 65,536 are cut to 55,295 and then
// to the start of a whole line, a far line break does not count.
TEST_P(LogViewTrimTest, TrimKeepsWholeLinesNearTheLimit)
{
    const HWND control = View();
    LOGFONTW windowFont = {};
    GetObjectW(log->font, sizeof windowFont, &windowFont);
    for (const TrimCase& row : TrimCases()) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        Append(row.sent, kDearStepPatienceMs);
        const std::wstring before = Positions(ViewText());
        ASSERT_TRUE(before == Positions(row.sent)) << "nothing may be lost to a text limit";

        Append(L"\nappended", kDearStepPatienceMs);
        const std::wstring after = Positions(ViewText());
        EXPECT_TRUE(after == before.substr(row.keptFrom) + L"\rappended")
            << "the view holds " << after.size() << " units, starting at "
            << before.size() + 9 - after.size();

        // The rule itself: never more left than the cut allows, and the view
        // starts with a whole line whenever a line break follows the cut.
        if (before.size() > kLogTrimAbove) {
            const size_t cut = before.size() - kLogKeepAfterTrim;
            EXPECT_GE(row.keptFrom, cut);
            const size_t lineBreak = before.find(L'\r', cut);
            if (lineBreak != std::wstring::npos && lineBreak < cut + kLogFarthestBreak) {
                EXPECT_EQ(row.keptFrom, lineBreak + 1);
            }
        }
        // What was streamed in shows in the view's own size, and on Windows'
        // control in the window's own font, never in Wine's private copy.
        SendMessageW(View(), EM_SETSEL, 0, -1);
        const CHARFORMAT2W shown = FormatOf(View(), SCF_SELECTION);
        const CHARFORMAT2W standard = FormatOf(View(), SCF_DEFAULT);
        EXPECT_EQ(shown.yHeight, standard.yHeight);
        EXPECT_STREQ(shown.szFaceName, standard.szFaceName);
        if (GetParam() == LogControlKind::Windows) {
            EXPECT_STREQ(standard.szFaceName, windowFont.lfFaceName);
        }
    }
    if (GetParam() == LogControlKind::Windows) {
        EXPECT_EQ(View(), control) << "Windows' control was made anew";
    }
}

// Text taken out of the control behind the view's back, as a failed stream
// or a control short of memory would leave it: the next step sees the count
// differ and gives the control the whole text again.
TEST_P(LogViewTrimTest, ControlThatLostTextIsSetRightByTheNextStep)
{
    const HWND view = View();
    Append(L"first line\n");
    SendMessageW(view, EM_SETSEL, 0, 5);
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    ASSERT_EQ(ReadText(view), L" line\r\n");
    Append(L"second line");
    EXPECT_EQ(ViewText(), L"first line\r\nsecond line");
}


TEST_F(LogViewTest, ClearEmptiesTheViewAndLeavesAutoscrollAlone)
{
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    Append(L"one\ntwo\n");
    ASSERT_TRUE(testsupport::Click(clearButton));
    EXPECT_EQ(ViewText(), L"");
    EXPECT_EQ(ReadText(autoscrollButton), L"Autoscroll On");
    EXPECT_FALSE(log->logView->Autoscroll());

    // The new, empty view shows text as the old one did.
    Append(L"{\\rtf1 x}");
    EXPECT_EQ(ViewText(), L"{\\rtf1 x}");
}

LRESULT FirstVisibleLine(HWND view)
{
    return SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
}

TEST_F(LogViewTest, AppendsFollowTheEndOnlyWhileAutoscrollIsOn)
{
    for (int line = 0; line < 100; ++line) {
        HandOver(L"line " + std::to_wstring(line) + L"\n");
    }
    ASSERT_TRUE(Settled());
    EXPECT_GT(FirstVisibleLine(View()), 50);

    SendMessageW(View(), WM_VSCROLL, SB_TOP, 0);
    ASSERT_EQ(FirstVisibleLine(View()), 0);
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    for (int line = 0; line < 100; ++line) {
        HandOver(L"more " + std::to_wstring(line) + L"\n");
    }
    ASSERT_TRUE(Settled());
    EXPECT_EQ(FirstVisibleLine(View()), 0);
}

struct ModalCase {
    const char* name;
    bool messageBox;  // else the Save dialog
    int closeButton;
};

TEST_F(LogViewTest, TextsAppearWhileAModalLoopRuns)
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
TEST_F(LogViewTest, EveryStepShowsTheNewestTextWithinTheBound)
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
            ASSERT_LE(shown.size(), kLogMostShown);
            ASSERT_GE(shown.size(), std::min(sent.size(), kLogKeepAfterTrim - kLogFarthestBreak));
            ASSERT_TRUE(sent.ends_with(shown)) << "step " << step;
            const size_t start = sent.size() - shown.size();
            if (start > 0 && sent[start - 1] != L'\r') {
                EXPECT_GE(shown.find(L'\r'), kLogFarthestBreak) << "cut before a near line break";
            }
        }
    }
}

// Texts are shown even when the window cannot be woken for them, or cannot
// set itself the timer to look again: it looks whenever it is idle.
TEST_F(LogViewTest, TextsAreShownWhenTheWindowCannotBeWokenOrTimed)
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

TEST_F(LogViewTest, ClearDropsTextsStillWaiting)
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

INSTANTIATE_FOR_BOTH_CONTROLS(LogViewTrimTest);

}  // namespace
