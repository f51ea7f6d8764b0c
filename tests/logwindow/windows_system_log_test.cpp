#include "logwindow/windows_system_log.h"

#include "logwindow/log_append.h"
#include "runtime/scoped_lock.h"

#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/failing_create_worker_thread.h"
#include "tests/support/user_input.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::FinishesWithin;
using testsupport::FocusOf;
using testsupport::LogWindowTest;
using testsupport::PressKeys;
using testsupport::WaitUntil;

using WindowsSystemLogTest = LogWindowTest;

TEST_F(WindowsSystemLogTest, WindowIsShownWithItsClassTitleAndSize)
{
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(testsupport::FindLogWindows().size(), 1u);
    RECT frame = {};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.right - frame.left, 800);
    EXPECT_EQ(frame.bottom - frame.top, 400);
}

TEST_F(WindowsSystemLogTest, CloseHidesTheWindowWithoutDestroyingIt)
{
    ASSERT_TRUE(testsupport::Close(window));
    EXPECT_FALSE(log->visible);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindow(window));

    // A second close while hidden changes nothing.
    ASSERT_TRUE(testsupport::Close(window));
    EXPECT_FALSE(log->visible);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindow(window));

    // Text sent after the close is still appended, to the hidden window.
    auto* late = static_cast<wchar_t*>(malloc(sizeof(L"late")));
    ASSERT_NE(late, nullptr);
    wcscpy(late, L"late");
    SendMessageW(window, WM_LOG_APPEND, reinterpret_cast<WPARAM>(late), 0);
    EXPECT_EQ(ViewText(), L"late");
}

TEST_F(WindowsSystemLogTest, QuitMessageDoesNotEndTheWindowThread)
{
    ASSERT_TRUE(PostThreadMessageW(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 0, 0));
    Append(L"after quit");
    EXPECT_EQ(ViewText(), L"after quit");
    EXPECT_EQ(log->worker->ReadState(), Running);
}

TEST_F(WindowsSystemLogTest, DeletingReturnsAfterTheWindowThreadEnded)
{
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), log->worker->thread, GetCurrentProcess(),
                                &thread, SYNCHRONIZE, FALSE, 0));
    const HWND view = View();

    EXPECT_TRUE(FinishesWithin([] { CWindowsSystemLog::DestroyInstance(); }));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
    // The window thread destroyed its windows before it ended.
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(view));
    EXPECT_TRUE(testsupport::FindLogWindows().empty());
}

wchar_t* MallocCopy(const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(malloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        wmemcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

TEST_F(WindowsSystemLogTest, AppendMessageShowsItsTextBehindHandedTextsBeforeTheSendReturns)
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

TEST_F(WindowsSystemLogTest, ClosedWindowDropsHandedTexts)
{
    ASSERT_TRUE(testsupport::Close(window));
    HandOver(L"after the close");
    AppendUtf8ToLog("after the close");
    EXPECT_TRUE(log->logView->Settled());
    CLogText waiting;
    log->logView->DrainWaiting(waiting);
    EXPECT_EQ(waiting.Units(), 0u);
}

struct ResizeCase {
    const char* name;
    int width;
    int height;
};

// The last one leaves a client area lower than the button band.
const ResizeCase kResizeCases[] = {
    {"larger", 1000, 600},
    {"smaller", 420, 200},
    {"lower than the button band", 300, 1},
};

TEST_F(WindowsSystemLogTest, LogViewFillsTheClientAreaBelowTheButtons)
{
    for (const ResizeCase& row : kResizeCases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, row.width, row.height,
                                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
        ASSERT_TRUE(testsupport::Sync(window));
        RECT client = {};
        GetClientRect(window, &client);
        RECT placed = {};
        GetWindowRect(View(), &placed);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(placed.left, 0);
        EXPECT_EQ(placed.top, 36);
        EXPECT_EQ(placed.right, client.right);
        EXPECT_EQ(placed.bottom - placed.top, std::max(0L, client.bottom - 36));
    }
}

// Where a control sits in its parent's client area.
RECT PlaceOf(HWND control)
{
    RECT placed = {};
    GetWindowRect(control, &placed);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&placed), 2);
    return placed;
}

LONG FontHeightOf(HWND control)
{
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    return font.lfHeight;
}

// The rich edit answers no WM_GETFONT; it reports its text's height in
// twips, converted at the 96 dpi of this test program.
constexpr LONG kTwipsPerPixel = 1440 / 96;

LONG ViewFontTwips(HWND view)
{
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_SIZE;
    SendMessageW(view, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    return format.yHeight;
}

struct DpiCase {
    UINT dpi;
    // The 96-dpi band, Clear button and font height, scaled and rounded.
    LONG band;
    RECT clear;
    LONG fontHeight;
};

// The last row goes back to 96 dpi, so nothing stays from the larger ones.
const DpiCase kDpiCases[] = {
    {120, 45, {13, 3, 53, 43}, -14},
    {144, 54, {15, 3, 63, 51}, -17},
    {192, 72, {20, 4, 84, 68}, -22},
    {96, 36, {10, 2, 42, 34}, -11},
};

TEST_F(WindowsSystemLogTest, ChangeOfDpiScalesTheControlsAndTakesTheSuggestedFrame)
{
    for (const DpiCase& row : kDpiCases) {
        SCOPED_TRACE(row.dpi);
        // Windows suggests 800 by 400 scaled; any frame must be taken as it is.
        RECT suggested = {20, 30, 20 + static_cast<LONG>(row.dpi) * 5, 30 + 300};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(row.dpi, row.dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        ASSERT_TRUE(testsupport::Sync(window));

        RECT frame = {};
        GetWindowRect(window, &frame);
        EXPECT_EQ(frame.left, suggested.left);
        EXPECT_EQ(frame.top, suggested.top);
        EXPECT_EQ(frame.right, suggested.right);
        EXPECT_EQ(frame.bottom, suggested.bottom);

        const RECT clear = PlaceOf(clearButton);
        EXPECT_EQ(clear.left, row.clear.left);
        EXPECT_EQ(clear.top, row.clear.top);
        EXPECT_EQ(clear.right, row.clear.right);
        EXPECT_EQ(clear.bottom, row.clear.bottom);
        // The other buttons keep their 96-dpi places relative to Clear.
        EXPECT_EQ(PlaceOf(saveButton).left, MulDiv(44, row.dpi, 96));
        EXPECT_EQ(PlaceOf(autoscrollButton).right - PlaceOf(autoscrollButton).left,
                  MulDiv(96, row.dpi, 96));

        RECT client = {};
        GetClientRect(window, &client);
        const RECT view = PlaceOf(View());
        EXPECT_EQ(view.top, row.band);
        EXPECT_EQ(view.right, client.right);
        EXPECT_EQ(view.bottom, client.bottom);

        for (HWND button : {clearButton, saveButton, autoscrollButton}) {
            EXPECT_EQ(FontHeightOf(button), row.fontHeight);
        }
        EXPECT_EQ(ViewFontTwips(View()), -row.fontHeight * kTwipsPerPixel);
    }
}

TEST_F(WindowsSystemLogTest, ResizeAfterAChangeOfDpiKeepsTheScaledBand)
{
    RECT suggested = {0, 0, 1600, 800};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 900, 500,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(testsupport::Sync(window));
    EXPECT_EQ(PlaceOf(View()).top, 72);
}

// The windows that WM_SYSCOLORCHANGE reached; written by the window thread
// while the test waits in SendMessageW.
std::vector<HWND> gColoursChangedFor;

LRESULT CALLBACK RecordColourChange(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SYSCOLORCHANGE) {
        gColoursChangedFor.push_back(sent->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(WindowsSystemLogTest, ChangeOfSystemColoursReachesEveryControl)
{
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &RecordColourChange, nullptr,
                                         GetWindowThreadProcessId(window, nullptr));
    ASSERT_NE(hook, nullptr);
    gColoursChangedFor.clear();
    SendMessageW(window, WM_SYSCOLORCHANGE, 0, 0);
    UnhookWindowsHookEx(hook);
    for (HWND control : {View(), clearButton, saveButton, autoscrollButton}) {
        EXPECT_EQ(std::count(gColoursChangedFor.begin(), gColoursChangedFor.end(), control), 1);
    }
}

// A window class "Syslog" of this module whose windows refuse to be made.
LRESULT CALLBACK RefusingWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return message == WM_NCCREATE ? FALSE : DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowsSystemLogStartTest : public ::testing::Test {
protected:
    ~WindowsSystemLogStartTest() override
    {
        gFailThreadCreation = false;
        CWindowsSystemLog::DestroyInstance();
    }
};

TEST_F(WindowsSystemLogStartTest, ThreadThatCannotStartEndsTheWait)
{
    gFailThreadCreation = true;
    bool started = true;
    EXPECT_TRUE(FinishesWithin([&] { started = CWindowsSystemLog::Instance()->StartWindowThread(); }));
    EXPECT_FALSE(started);
    EXPECT_TRUE(FinishesWithin([] { CWindowsSystemLog::DestroyInstance(); }));
}

TEST_F(WindowsSystemLogStartTest, WindowThatCannotBeMadeEndsTheThread)
{
    WNDCLASSW refusing = {};
    refusing.lpfnWndProc = &RefusingWindowProc;
    refusing.hInstance = GetModuleHandleW(nullptr);
    refusing.lpszClassName = L"Syslog";
    ASSERT_NE(RegisterClassW(&refusing), 0);

    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    bool started = true;
    EXPECT_TRUE(FinishesWithin([&] { started = log->StartWindowThread(); }));
    EXPECT_FALSE(started);
    EXPECT_TRUE(WaitUntil([&] { return log->worker->ReadState() == Stopped; }));
    EXPECT_TRUE(testsupport::FindLogWindows().empty());
    EXPECT_TRUE(FinishesWithin([] { CWindowsSystemLog::DestroyInstance(); }));
    UnregisterClassW(L"Syslog", GetModuleHandleW(nullptr));
}

// Real keys, pressed as a person does; each step waits for what the window shows.
class WindowsSystemLogKeysTest : public LogWindowTest {
protected:
    // A failed step can leave the modal Save dialog or a menu open, and the
    // window thread would never see the stop request.
    void TearDown() override
    {
        const HWND save = FindWindowW(L"#32770", testsupport::kSaveDialogTitle);
        if (save != nullptr) {
            PostMessageW(save, WM_COMMAND, IDCANCEL, 0);
        }
        if (InMenuMode()) {
            PostMessageW(window, WM_CANCELMODE, 0, 0);
        }
        LogWindowTest::TearDown();
    }

    bool FocusAfter(std::initializer_list<WORD> keys, HWND expected)
    {
        return PressKeys(keys) && WaitUntil([&] { return FocusOf(window) == expected; });
    }

    bool LabelAfter(WORD key, const wchar_t* label)
    {
        return PressKeys({key}) &&
               WaitUntil([&] { return testsupport::ReadText(autoscrollButton) == label; });
    }

    // The dialog once it has the keyboard, or null.
    HWND DialogWithKeys(const wchar_t* title)
    {
        const HWND dialog = testsupport::WaitForDialog(title);
        return WaitUntil([&] { return IsChild(dialog, FocusOf(dialog)); }) ? dialog : nullptr;
    }

    bool InMenuMode()
    {
        GUITHREADINFO state = {};
        state.cbSize = sizeof state;
        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &state) &&
               (state.flags & GUI_INMENUMODE) != 0;
    }

    // Escape closes the menu; a second one ends the menu mode that Alt+Space
    // leaves on the caption.
    bool WindowMenuAfter(const std::function<bool()>& gesture)
    {
        const auto shown = [] { return IsWindowVisible(FindWindowW(L"#32768", nullptr)) != FALSE; };
        return gesture() && WaitUntil(shown) && PressKeys({VK_ESCAPE}) &&
               WaitUntil([&] { return !shown(); }) &&
               (!InMenuMode() ||
                (PressKeys({VK_ESCAPE}) && WaitUntil([&] { return !InMenuMode(); })));
    }
};

// Whenever one of its windows gets the X focus, Wine sets its modifier keys
// to what X says (KeymapNotify), and X never saw keys sent with SendInput: a
// combination goes only after plain keys have shown that the window has
// taken in the last such change.
TEST_F(WindowsSystemLogKeysTest, EveryPartOfTheWindowWorksByKeyboard)
{
    Append(L"first line\nsecond line\n");
    const std::wstring shown = testsupport::Positions(ViewText());
    const HWND view = View();
    // Activated, the window gives its keys to the view; Tab goes round.
    ASSERT_TRUE(
        WaitUntil([&] { return GetForegroundWindow() == window && FocusOf(window) == view; }));
    for (HWND next : {clearButton, saveButton, autoscrollButton, view}) {
        ASSERT_TRUE(FocusAfter({VK_TAB}, next));
    }
    ASSERT_TRUE(testsupport::ClearClipboard());
    ASSERT_TRUE(PressKeys({VK_CONTROL, 'A'}) && PressKeys({VK_CONTROL, 'C'}));
    const std::optional<std::wstring> copied =
        testsupport::WaitForClipboardText(testsupport::kPatienceMs);
    EXPECT_EQ(testsupport::Positions(copied.value_or(L"(nothing)")), shown);
    for (HWND next : {autoscrollButton, saveButton, clearButton, view, autoscrollButton}) {
        ASSERT_TRUE(FocusAfter({VK_SHIFT, VK_TAB}, next));
    }

    // Space and Enter press the focused button. Escape does nothing: had it
    // opened the modal Save dialog, Enter would have gone there; had Enter
    // cleared the view, the label would have stayed.
    ASSERT_TRUE(LabelAfter(VK_SPACE, L"Autoscroll On"));
    ASSERT_TRUE(PressKeys({VK_ESCAPE}) && LabelAfter(VK_RETURN, L"Autoscroll Off"));
    EXPECT_EQ(testsupport::Positions(ViewText()), shown);
    EXPECT_TRUE(WindowMenuAfter([] { return PressKeys({VK_MENU, VK_SPACE}); }));

    // Back from Find, the focus is on the view, wherever it was before, and
    // Escape there is no order to close the window; back from another
    // dialog, the focus is where it was.
    ASSERT_TRUE(FocusAfter({VK_TAB}, view) && FocusAfter({VK_TAB}, clearButton));
    ASSERT_TRUE(PressKeys({VK_CONTROL, 'F'}) && DialogWithKeys(L"Find") != nullptr);
    ASSERT_TRUE(FocusAfter({VK_ESCAPE}, View()));
    ASSERT_TRUE(PressKeys({VK_ESCAPE}) && FocusAfter({VK_TAB}, clearButton));
    EXPECT_TRUE(IsWindowVisible(window));
    ASSERT_TRUE(FocusAfter({VK_TAB}, saveButton) && PressKeys({VK_SPACE}));
    const HWND save = DialogWithKeys(testsupport::kSaveDialogTitle);
    ASSERT_TRUE(save != nullptr && PressKeys({VK_ESCAPE}));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(save) && FocusOf(window) == saveButton; }));

    // A right click on the caption opens the window menu.
    RECT frame = {};
    ASSERT_TRUE(GetWindowRect(window, &frame));
    const POINT caption = {
        (frame.left + frame.right) / 2,
        frame.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
    EXPECT_TRUE(WindowMenuAfter(
        [&] { return testsupport::ClickAt(caption, testsupport::MouseButton::Right); }));
}

}  // namespace
