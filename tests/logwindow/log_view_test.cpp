#include "logwindow/windows_system_log.h"

#include "logwindow/log_append.h"
#include "logwindow/log_view_plan.h"
#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::LogWindowTest;
using testsupport::Positions;
using testsupport::ReadText;
using testsupport::WaitUntil;

using LogViewTest = LogWindowTest;

// What WM_GETTEXT reads back for text that was sent with any line breaks.
std::wstring ReadBack(const std::wstring& sent)
{
    std::wstring out;
    for (wchar_t unit : Positions(sent)) {
        out += unit == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, unit);
    }
    return out;
}

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

wchar_t* MallocCopy(const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(malloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        wmemcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

TEST_F(LogViewTest, AppendMessageShowsItsTextBehindHandedTextsBeforeTheSendReturns)
{
    HandOver(L"handed ");
    // Under the window's lock, as a sender of the message may send it.
    EXPECT_TRUE(testsupport::FinishesWithin([this] {
        CScopedLock guard(log->lock);
        SendMessageW(window, WM_LOG_APPEND, reinterpret_cast<WPARAM>(MallocCopy(L"sent")), 0);
    }));
    EXPECT_EQ(ViewText(), L"handed sent");
    SendMessageW(window, WM_LOG_APPEND, 0, 0);
    EXPECT_EQ(ViewText(), L"handed sent");
}

// `length` characters of words, numbers and spaces, as senders send them.
// (Under Wine the view wraps a long paragraph of letters alone in time that
// grows with the square of its length; numbers keep it linear.)
std::wstring Words(size_t length, wchar_t letter = L'w')
{
    std::wstring text;
    for (size_t i = 0; i < length; ++i) {
        const size_t column = i % 10;
        const auto digit = static_cast<wchar_t>(L'0' + (i / 10 + column) % 10);
        text += column == 9 ? L' ' : column < 6 ? letter : digit;
    }
    return text;
}

// A text of `length` positions made of lines of `lineLength` positions each
// (the last one without its break), with `lineBreak` between the lines.
std::wstring Lines(size_t length, size_t lineLength, const std::wstring& lineBreak = L"\n")
{
    std::wstring text;
    size_t positions = 0;
    while (positions < length) {
        const size_t body = std::min(lineLength - 1, length - positions);
        text += Words(body, static_cast<wchar_t>(L'a' + positions % 26));
        positions += body;
        if (positions < length) {
            text += lineBreak;
            ++positions;
        }
    }
    return text;
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
    return cases;
}

// Windows' control, run here through the seam: one control all along, its
// text in the view's own format, trimmed in place as the rule says.
class WindowsPathLogViewTest : public LogWindowTest {
protected:
    WindowsPathLogViewTest() { chosenPath = LogViewPath::Windows; }
};

CHARFORMAT2W FormatOf(HWND view, WPARAM which)
{
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_SIZE | CFM_FACE;
    SendMessageW(view, EM_GETCHARFORMAT, which, reinterpret_cast<LPARAM>(&format));
    return format;
}

TEST_F(WindowsPathLogViewTest, TrimKeepsWholeLinesNearTheLimitInOneControl)
{
    const HWND control = View();
    for (const TrimCase& row : TrimCases()) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        Append(row.sent);
        const std::wstring before = Positions(ViewText());
        ASSERT_TRUE(before == Positions(row.sent)) << "nothing may be lost to a text limit";

        Append(L"\nappended");
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
        // What was streamed in shows in the view's own font and size.
        SendMessageW(control, EM_SETSEL, 0, -1);
        const CHARFORMAT2W shown = FormatOf(control, SCF_SELECTION);
        const CHARFORMAT2W standard = FormatOf(control, SCF_DEFAULT);
        EXPECT_EQ(shown.yHeight, standard.yHeight);
        EXPECT_STREQ(shown.szFaceName, standard.szFaceName);
    }
    EXPECT_EQ(View(), control) << "the control was made anew";
}

// Text taken out of the control behind the view's back, as a failed stream
// or a control short of memory would leave it: the next step sees the count
// differ and gives the control the whole text again.
void ExpectTheViewToBeSetRight(LogWindowTest& test, HWND view)
{
    test.Append(L"first line\n");
    SendMessageW(view, EM_SETSEL, 0, 5);
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    ASSERT_EQ(ReadText(view), L" line\r\n");
    test.Append(L"second line");
    EXPECT_EQ(test.ViewText(), L"first line\r\nsecond line");
}

TEST_F(LogViewTest, ControlThatLostTextIsSetRightByTheNextStep)
{
    ExpectTheViewToBeSetRight(*this, View());
}

TEST_F(WindowsPathLogViewTest, ControlThatLostTextIsSetRightByTheNextStep)
{
    ExpectTheViewToBeSetRight(*this, View());
}

// A text of `units` 'x' with a line break every `every` units (0: none),
// then `placed` units set.
std::wstring Filled(size_t units, size_t every = 0,
                    const std::vector<std::pair<size_t, wchar_t>>& placed = {})
{
    std::wstring text(units, L'x');
    for (size_t at = every; every > 0 && at <= units; at += every) {
        text[at - 1] = L'\r';
    }
    for (const auto& [at, unit] : placed) {
        text[at] = unit;
    }
    return text;
}

struct PlanCase {
    const char* name;
    std::wstring view;
    std::wstring waiting;  // handed over as one text
    size_t removed;
    bool touchesLongParagraph;
};

TEST(LogViewPlanTest, KeepsTheNewestTextWithinTheBoundFromAWholeLine)
{
    const PlanCase cases[] = {
        {"it all fits", Filled(60000, 100), Filled(6559, 100), 0, false},
        {"a trim due before the step, as one append would make it", Filled(65600, 100),
         Filled(1000, 100), 10400, false},
        // Cut where the bound leaves the view after the step, not before it.
        {"a trim due and far more text", Filled(65600, 100), Filled(44000, 100), 54400, false},
        {"more than the bound arrives at once", Filled(60000, 100), Filled(10000, 100), 14800,
         false},
        {"one paragraph: cut in the middle of it", Filled(65600), Filled(100, 0, {{0, L'\r'}}),
         10305, true},
        // The far-break rule and surrogate pairs: the trim table shows them in the view.
        {"the last break that counts", Filled(65600, 0, {{10305 + 1023, L'\r'}}), L"w",
         10305 + 1024, true},
        // Deleting lines joins what stays to the paragraph after them.
        {"short lines before a long paragraph",
         Filled(10400, 100) + Filled(55200), L"w", 10400, true},
        {"short lines, then short lines before a long paragraph",
         Filled(20000, 100) + Filled(45600), L"w", 10400, false},
        {"a step as large as a trim keeps empties a view of lines", Filled(30000, 100),
         Filled(55295, 100), 30100, false},
        {"...and one of a long paragraph", Filled(30000), Filled(55295, 100), 30100, true},
        {"an empty view needs no new one", L"", Filled(80000, 100), 24800, false},
        // The oldest 50 go at once: what waits then breaks lines at 49, 149...
        {"more waits than any view keeps", Filled(100, 100),
         Filled(CLogWaitingText::kMostUnits + 50, 100), 100 + 79949 + 1, false},
    };
    for (const PlanCase& row : cases) {
        SCOPED_TRACE(row.name);
        CLogText view;
        ASSERT_TRUE(view.Append(row.view.data(), row.view.size()));
        CLogWaitingText waiting;
        ASSERT_TRUE(waiting.Add(row.waiting.data(), row.waiting.size()));
        const LogViewStep step = PlanLogViewStep(view, waiting.Held());
        EXPECT_EQ(step.removed, row.removed);
        EXPECT_EQ(step.touchesLongParagraph, row.touchesLongParagraph);
    }
}

TEST_F(LogViewTest, ClearEmptiesTheViewAndLeavesAutoscrollAlone)
{
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    Append(L"one\ntwo\n");
    ASSERT_TRUE(testsupport::Click(clearButton));
    EXPECT_EQ(ViewText(), L"");
    EXPECT_EQ(ReadText(autoscrollButton), L"Autoscroll On");
    EXPECT_FALSE(log->autoscroll);

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

std::wstring RowHead(int line)
{
    wchar_t head[16];
    swprintf(head, 16, L"row %04d", line);
    return head;
}

LONG LineStart(HWND view, LRESULT line)
{
    return static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

struct KeptPlaceCase {
    const char* name;
    const wchar_t* rowEnd;  // a line break, or a space: one paragraph
    int row;                // its head is selected and scrolled to the top
};

TEST_F(LogViewTest, WithAutoscrollOffTheReadersPlaceStaysAcrossATrim)
{
    // 1,100 rows of 60 positions: the next append trims the first 10,700 or so.
    const KeptPlaceCase cases[] = {
        {"a line the trim leaves", L"\n", 700},
        {"a line the trim takes", L"\n", 100},
        {"one paragraph: a place the trim leaves", L" ", 700},
        {"one paragraph: a place the trim takes", L" ", 100},
    };
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    for (const KeptPlaceCase& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        // Three texts, each shown in a step of its own and each less than a
        // trim keeps: no step trims, whatever the machine's pace, and the
        // view ends just above the trim threshold.
        std::wstring text;
        for (int line = 0; line < 1100; ++line) {
            text += RowHead(line) + L" " + Words(50) + row.rowEnd;
            if (line % 500 == 499 || line == 1099) {
                Append(text);
                text.clear();
            }
        }
        const std::wstring before = Positions(ViewText());
        const auto at = static_cast<LONG>(before.find(RowHead(row.row)));
        SendMessageW(View(), EM_SETSEL, at, at + 8);
        const LRESULT line = SendMessageW(View(), EM_EXLINEFROMCHAR, 0, at);
        SendMessageW(View(), EM_LINESCROLL, 0, line - FirstVisibleLine(View()));
        const LONG topStart = LineStart(View(), FirstVisibleLine(View()));

        Append(L"appended\n");
        const auto removed =
            static_cast<LONG>(before.size() + 9 - Positions(ViewText()).size());
        ASSERT_GT(removed, 0) << "the append must trim";
        const HWND view = View();
        CHARRANGE selection = {};
        SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        const LRESULT top = FirstVisibleLine(view);
        if (at >= removed) {
            // The same characters still selected, and the top line's first
            // one still in the top line (a paragraph may wrap anew).
            EXPECT_EQ(selection.cpMin, at - removed);
            EXPECT_EQ(selection.cpMax, at - removed + 8);
            EXPECT_LE(LineStart(view, top), topStart - removed);
            EXPECT_GT(LineStart(view, top + 1), topStart - removed);
        } else {
            // Trimmed away: the view's start.
            EXPECT_EQ(selection.cpMin, 0);
            EXPECT_EQ(selection.cpMax, 0);
            EXPECT_EQ(top, 0);
        }
    }
}

// A file name in the temporary folder that no other test uses.
std::wstring TempPath(const std::wstring& stem)
{
    static std::atomic<int> counter{0};
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"logview-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L"-" + stem + L".log";
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return bytes;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, got);
    }
    fclose(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    fclose(file);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class LogViewSaveTest : public LogWindowTest {
protected:
    ~LogViewSaveTest() override { DeleteFileW(path.c_str()); }

    // Presses Save and drives the dialog, as a user would.
    void SaveThroughDialog()
    {
        ASSERT_TRUE(testsupport::PostClick(saveButton));
        const HWND dialog = testsupport::WaitForDialog(testsupport::kSaveDialogTitle);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
        ASSERT_TRUE(testsupport::SaveAs(dialog, path));
    }

    std::wstring path = TempPath(L"save");
};

TEST_F(LogViewSaveTest, FileHoldsTheViewTextAsUtf8)
{
    Append(L"Syslog\r\n");
    Append(L"caf\u00E9\n\xD83D\xDE00 last");
    SaveThroughDialog();
    // No byte-order mark, CR LF line ends as the view reads them back, a
    // character outside the BMP as one four-byte sequence, the last one kept.
    EXPECT_EQ(ReadFileBytes(path), "Syslog\r\ncaf\xC3\xA9\r\n\xF0\x9F\x98\x80 last");
}

// Lines as firewalls send them, with no line break, in many steps.
TEST_F(LogViewSaveTest, RunOnTextsAreSavedExactlyAsReceived)
{
    std::string sent;
    for (int i = 0; i < 400; ++i) {
        char text[160];
        snprintf(text, sizeof text,
                 "<4>Dec  9 04:15:%02d gw01 kernel: [UFW BLOCK] IN=eth0 SRC=203.0.113.%d "
                 "DST=192.0.2.10 caf\xC3\xA9 {\\rtf1} SPT=%d SYN ",
                 i % 60, i % 250, 30000 + i);
        AppendUtf8ToLog(text);
        sent += text;
    }
    ASSERT_TRUE(Settled());
    SaveThroughDialog();
    EXPECT_EQ(ReadFileBytes(path), sent);
}

TEST_F(LogViewSaveTest, EmptyViewCreatesNoFile)
{
    SaveThroughDialog();
    EXPECT_FALSE(Exists(path));
}

TEST_F(LogViewSaveTest, EmptyViewLeavesAnExistingFileAlone)
{
    WriteFileBytes(path, "earlier log");
    SaveThroughDialog();
    EXPECT_EQ(ReadFileBytes(path), "earlier log");
}

TEST_F(LogViewSaveTest, FileThatCannotBeOpenedIsReportedAndChangesNothing)
{
    WriteFileBytes(path, "earlier log");
    // Held open without sharing, so the save cannot open it.
    const HANDLE held =
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Append(L"new text");

    ASSERT_TRUE(testsupport::PostClick(saveButton));
    const HWND dialog = testsupport::WaitForDialog(testsupport::kSaveDialogTitle);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(testsupport::SaveAs(dialog, path));
    const HWND box = testsupport::WaitForOwnedDialog(window);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(testsupport::ReadDialogText(box).find(path), std::wstring::npos);
    ASSERT_TRUE(testsupport::PressDialogButton(box, IDOK));
    EXPECT_TRUE(WaitUntil([box] { return !IsWindow(box); }));
    CloseHandle(held);

    EXPECT_EQ(ReadFileBytes(path), "earlier log");
    EXPECT_EQ(ViewText(), L"new text");
}

}  // namespace
