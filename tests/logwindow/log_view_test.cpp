#include "logwindow/windows_system_log.h"

#include "logwindow/log_append.h"
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
using testsupport::ReadText;
using testsupport::WaitUntil;

class LogViewTest : public LogWindowTest {
protected:
    // Appends `text` in pieces no longer than a datagram's text, as the
    // receiver would. (Under Wine one huge insert into a long paragraph takes
    // many seconds to wrap; appends of datagram size do not.) A piece never
    // ends between the halves of a CR LF or of a surrogate pair.
    void AppendInPieces(const std::wstring& text)
    {
        constexpr size_t kPiece = 1000;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = std::min(text.size(), start + kPiece);
            while (end < text.size() && ((text[end - 1] == L'\r' && text[end] == L'\n') ||
                                         (text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF))) {
                ++end;
            }
            Append(text.substr(start, end - start));
            start = end;
        }
    }
};

constexpr size_t kTrimAbove = 65535;
constexpr size_t kKeepAfterTrim = 55295;
constexpr size_t kFarthestBreak = 1024;

// The view in character positions: every line break, however it was sent and
// however WM_GETTEXT reads it back (CR LF), is one '\r'.
std::wstring Positions(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            ++i;
        }
        out += text[i] == L'\n' ? L'\r' : text[i];
    }
    return out;
}

// What WM_GETTEXT reads back for text that was sent with any line breaks.
std::wstring ReadBack(const std::wstring& sent)
{
    std::wstring out;
    for (wchar_t unit : Positions(sent)) {
        out += unit == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, unit);
    }
    return out;
}

struct AppendCase {
    const char* name;
    std::vector<std::wstring> texts;
};

const AppendCase kAppendCases[] = {
    {"banner", {L"Syslog\r\n"}},
    {"texts joined with nothing added", {L"<13>one", L"<13>two", L"three\n"}},
    {"line feeds and carriage returns", {L"a\nb\rc\r\nd"}},
    {"outside ASCII", {L"caf\u00E9 \u65E5\u672C \xD83D\xDE00 \uFFFD"}},
    // Plain-text mode: never read as rich text.
    {"rich text markup", {L"{\\rtf1 x}"}},
};

TEST_F(LogViewTest, AppendedTextIsShownExactly)
{
    for (const AppendCase& row : kAppendCases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        std::wstring sent;
        for (const std::wstring& text : row.texts) {
            Append(text);
            sent += text;
        }
        EXPECT_EQ(ViewText(), ReadBack(sent));
    }
}

// Datagrams whose text starts a script run with a combining mark: text
// shapers that position a mark against a base before it in its run have read
// outside the run on these and faulted.
struct DatagramCase {
    const char* name;
    const char* utf8;
    std::wstring shown;
};

const DatagramCase kLeadingMarkCases[] = {
    {"hebrew mark alone", "\xD6\xB6", L"\u05B6"},
    {"latin letter then hebrew mark", "x\xD6\xB6", L"x\u05B6"},
    {"arabic mark alone", "\xD9\x8E", L"\u064E"},
    {"hebrew mark then hebrew letter", "\xD6\xB6\xD7\x90", L"\u05B6\u05D0"},
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

// Through the receiver's own path: UTF-8 handed over to the window thread.
TEST_F(LogViewTest, LeadingCombiningMarksAreShownExactly)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER previous =
        SetUnhandledExceptionFilter(EndOnUnhandledException);
    for (const DatagramCase& row : kLeadingMarkCases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        AppendUtf8ToLog(row.utf8);
        EXPECT_TRUE(WaitUntil([&] { return ViewText() == row.shown; }));
        // Painted too, as a user sees it.
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_TRUE(testsupport::Sync(window));
    }
    SetUnhandledExceptionFilter(previous);
}

// Every combining mark of the BMP, as the system classes characters.
std::wstring CombiningMarks()
{
    std::wstring all;
    for (unsigned unit = 0x20; unit < 0xFFFE; ++unit) {
        if (unit < 0xD800 || unit > 0xDFFF) {
            all += static_cast<wchar_t>(unit);
        }
    }
    std::vector<WORD> types(all.size());
    GetStringTypeW(CT_CTYPE3, all.data(), static_cast<int>(all.size()), types.data());
    std::wstring marks;
    for (size_t i = 0; i < all.size(); ++i) {
        if (types[i] & (C3_NONSPACING | C3_DIACRITIC)) {
            marks += all[i];
        }
    }
    return marks;
}

// Each mark twice where a run starts: at the start of a line, and after a
// letter of another script.
TEST_F(LogViewTest, EveryCombiningMarkStartingARunIsShownExactly)
{
    constexpr size_t kPiece = 1000;
    const LPTOP_LEVEL_EXCEPTION_FILTER previous =
        SetUnhandledExceptionFilter(EndOnUnhandledException);
    const std::wstring marks = CombiningMarks();
    ASSERT_GT(marks.size(), 1000u);
    for (const wchar_t* before : {L"\n", L"\nx", L"\n\u05D0", L"\n\u0627"}) {
        std::wstring text;
        for (wchar_t mark : marks) {
            text += before;
            text += std::wstring(2, mark);
        }
        for (size_t start = 0; start < text.size(); start += kPiece) {
            ASSERT_TRUE(testsupport::Click(clearButton));
            const std::wstring piece = text.substr(start, kPiece);
            HandOver(piece);
            ASSERT_TRUE(WaitUntil([&] { return ViewText() == ReadBack(piece); }))
                << "from " << start << " after U+" << std::hex
                << static_cast<unsigned>(before[1]);
        }
    }
    SetUnhandledExceptionFilter(previous);
}

TEST_F(LogViewTest, ViewIsInPlainTextMode)
{
    const LRESULT mode = SendMessageW(view, EM_GETTEXTMODE, 0, 0);
    EXPECT_TRUE(mode & TM_PLAINTEXT);
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
        text += column == 9 ? L' ' : column < 6 ? letter : static_cast<wchar_t>(L'0' + (i / 10 + column) % 10);
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
    // ...but never half a surrogate pair.
    {
        std::wstring sent = Words(65536, L'q');
        sent[10240] = 0xD83D;
        sent[10241] = 0xDE00;
        cases.push_back({"cut inside a surrogate pair", sent, 10242});
    }
    return cases;
}

TEST_F(LogViewTest, TrimKeepsWholeLinesNearTheLimit)
{
    for (const TrimCase& row : TrimCases()) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        AppendInPieces(row.sent);
        const std::wstring before = Positions(ViewText());
        ASSERT_EQ(before, Positions(row.sent));  // nothing lost to a text limit

        Append(L"\nappended");
        const std::wstring after = Positions(ViewText());
        EXPECT_EQ(after, before.substr(row.keptFrom) + L"\rappended");

        // The rule itself: never more left than the cut allows, and the view
        // starts with a whole line whenever a line break follows the cut.
        if (before.size() > kTrimAbove) {
            const size_t cut = before.size() - kKeepAfterTrim;
            EXPECT_GE(row.keptFrom, cut);
            const size_t lineBreak = before.find(L'\r', cut);
            if (lineBreak != std::wstring::npos && lineBreak < cut + kFarthestBreak) {
                EXPECT_EQ(row.keptFrom, lineBreak + 1);
            }
        }
    }
}

struct ShownPartCase {
    const char* name;
    size_t units;
    std::vector<std::pair<size_t, wchar_t>> placed;  // units set in a text of 'x'
    size_t start;
};

TEST(ShownPartStartTest, CutsWaitingTextAsATrimWouldCutTheView)
{
    // 60,000 units: the cut falls at 4705.
    const ShownPartCase cases[] = {
        {"no more than a trim keeps", 55295, {{10, L'\n'}}, 0},
        {"a line break at the cut", 60000, {{4705, L'\n'}}, 4706},
        {"a CR LF is one break", 60000, {{4710, L'\r'}, {4711, L'\n'}}, 4712},
        {"the farthest break that counts", 60000, {{4705 + 1023, L'\r'}}, 4705 + 1024},
        {"a break too far", 60000, {{4705 + 1024, L'\n'}}, 4705},
        {"a break before the cut", 60000, {{4704, L'\n'}}, 4705},
        {"the cut inside a surrogate pair", 60000, {{4704, 0xD83D}, {4705, 0xDE00}}, 4706},
        {"the cut inside a CR LF", 60000, {{4704, L'\r'}, {4705, L'\n'}}, 4706},
    };
    for (const ShownPartCase& row : cases) {
        SCOPED_TRACE(row.name);
        std::wstring text(row.units, L'x');
        for (const auto& [at, unit] : row.placed) {
            text[at] = unit;
        }
        EXPECT_EQ(ShownPartStart(text.c_str(), text.size()), row.start);
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

    // Still plain text after the clear.
    EXPECT_TRUE(SendMessageW(view, EM_GETTEXTMODE, 0, 0) & TM_PLAINTEXT);
    Append(L"{\\rtf1 x}");
    EXPECT_EQ(ViewText(), L"{\\rtf1 x}");
}

TEST_F(LogViewTest, AutoscrollLabelFlipsBothWays)
{
    EXPECT_EQ(ReadText(autoscrollButton), L"Autoscroll Off");
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    EXPECT_EQ(ReadText(autoscrollButton), L"Autoscroll On");
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    EXPECT_EQ(ReadText(autoscrollButton), L"Autoscroll Off");
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
    EXPECT_GT(FirstVisibleLine(view), 50);

    SendMessageW(view, WM_VSCROLL, SB_TOP, 0);
    ASSERT_EQ(FirstVisibleLine(view), 0);
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    for (int line = 0; line < 100; ++line) {
        HandOver(L"more " + std::to_wstring(line) + L"\n");
    }
    ASSERT_TRUE(Settled());
    EXPECT_EQ(FirstVisibleLine(view), 0);
}

// The first characters of the line at the top of the view.
std::wstring TopLineStart(HWND view, LONG length)
{
    const LONG start = static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, FirstVisibleLine(view), 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    TEXTRANGEW range = {{start, start + length}, text.data()};
    text.resize(static_cast<size_t>(
        SendMessageW(view, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range))));
    return text;
}

std::wstring RowHead(int line)
{
    wchar_t head[16];
    swprintf(head, 16, L"row %04d", line);
    return head;
}

struct KeptPlaceCase {
    const char* name;
    int topLine;               // scrolled to the top before the append
    const wchar_t* topAfter;   // the start of the top line afterwards
};

TEST_F(LogViewTest, WithAutoscrollOffTheTopLineStaysAcrossATrim)
{
    // 1,100 lines of 60 positions: the next append trims the first 179 lines.
    const KeptPlaceCase cases[] = {
        {"a line the trim leaves", 700, L"row 0700"},
        {"a line the trim takes: the view's first line", 100, L"row 0179"},
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
            text += RowHead(line) + L" " + Words(50) + L"\n";
            if (line % 500 == 499 || line == 1099) {
                HandOver(text);
                text.clear();
                ASSERT_TRUE(Settled());
            }
        }
        SendMessageW(view, EM_LINESCROLL, 0, row.topLine - FirstVisibleLine(view));
        ASSERT_EQ(TopLineStart(view, 8), RowHead(row.topLine));

        Append(L"appended\n");
        ASSERT_LT(Positions(ViewText()).size(), 60000u) << "the append must trim";
        EXPECT_EQ(TopLineStart(view, 8), row.topAfter);
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
