// Works this program's own windows with real input (SendInput), as a person does.
#include "tests/support/user_input.h"

#include "tests/support/wait_until.h"

#include <richedit.h>

#include <iterator>
#include <vector>

namespace testsupport {

namespace {

// Absolute positions span the primary screen as 0 to 65535 (kAbsoluteSpan
// units), and a pixel covers span / width of them.
constexpr LONGLONG kAbsoluteSpan = 65536;
// See MoveMouseTo. A loaded machine may hear a move back from X late, so
// moves are sent again for as long as the tests' patience lasts.
constexpr DWORD kPointerRestMs = 500;
constexpr DWORD kMoveAttempts = kPatienceMs / kPointerRestMs;
// Another thread or program may hold the clipboard open for a moment, and
// on a loaded machine that moment can be long.
constexpr DWORD kClipboardPatienceMs = kPatienceMs;

bool Send(std::vector<INPUT> inputs)
{
    const auto count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

// A position maps to position * width / span pixels, rounded down; the
// middle of the pixel's share keeps clear of both its edges.
LONG Absolute(LONG pixel, int screenPixels)
{
    return static_cast<LONG>((pixel * kAbsoluteSpan + kAbsoluteSpan / 2) / screenPixels);
}

// A move to `screen`, with a press or release there if `flags` add one: Wine
// queues the move first, so the button acts exactly there.
INPUT MouseAt(POINT screen, DWORD flags = 0)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = Absolute(screen.x, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = Absolute(screen.y, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags;
    return input;
}

bool IsPointerAt(POINT screen)
{
    POINT at = {};
    return GetCursorPos(&at) && at.x == screen.x && at.y == screen.y;
}

DWORD ButtonFlag(MouseButton button, bool down)
{
    if (button == MouseButton::Left) {
        return down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    return down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
}

// Keys on the grey block and the right-hand modifiers send an extended scan
// code; without the flag Ctrl+End reads as Ctrl+keypad 1.
bool IsExtendedKey(WORD key)
{
    switch (key) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
    case VK_INSERT: case VK_DELETE: case VK_APPS:
    case VK_RCONTROL: case VK_RMENU: case VK_LWIN: case VK_RWIN:
        return true;
    default:
        return false;
    }
}

INPUT Key(WORD key, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags =
        (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(key) ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

INPUT Character(wchar_t unit, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = unit;
    input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

GUITHREADINFO ThreadState(HWND window)
{
    GUITHREADINFO state = {};
    state.cbSize = sizeof state;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread == 0 || !GetGUIThreadInfo(thread, &state)) {
        return GUITHREADINFO{};
    }
    return state;
}

bool OpenClipboardSoon()
{
    return WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, kClipboardPatienceMs);
}

}  // namespace

// Wine moves the X pointer along, and the window's thread hears each such
// move back from X later, as a move of its own: right after quick moves the
// pointer reads back at a place it passed. It comes to rest within a few ms.
bool MoveMouseTo(POINT screen)
{
    for (DWORD attempt = 0; attempt < kMoveAttempts; ++attempt) {
        if (!Send({MouseAt(screen)})) {
            return false;
        }
        if (WaitUntil([screen] { return IsPointerAt(screen); }, kPointerRestMs)) {
            return true;
        }
    }
    return false;
}

bool PressMouseButton(POINT screen, MouseButton button)
{
    return Send({MouseAt(screen, ButtonFlag(button, true))});
}

bool ReleaseMouseButton(POINT screen, MouseButton button)
{
    return Send({MouseAt(screen, ButtonFlag(button, false))});
}

bool ClickAt(POINT screen, MouseButton button)
{
    return MoveMouseTo(screen) && PressMouseButton(screen, button) &&
           ReleaseMouseButton(screen, button);
}

// The capture shows when the press and the release have been handled: a
// window that takes presses captures the mouse until the release.
bool DragLeft(POINT from, POINT to, DWORD durationMs, int steps,
              const std::function<void()>& onStep)
{
    const HWND target = WindowFromPoint(from);
    if (target == nullptr || steps < 1 || !MoveMouseTo(from) || !PressMouseButton(from)) {
        return false;
    }
    bool moved = WaitUntil([target] { return CaptureOf(target) != nullptr; });
    for (int step = 1; moved && step <= steps; ++step) {
        Sleep(durationMs / static_cast<DWORD>(steps));  // a hand's pace, not a wait for an effect
        moved = MoveMouseTo({from.x + MulDiv(to.x - from.x, step, steps),
                             from.y + MulDiv(to.y - from.y, step, steps)});
        if (moved && onStep) {
            onStep();
        }
    }
    // Released whatever happened, since a button left down would drag every
    // later test; at `to` even if a move heard back from X came in between.
    const bool released = ReleaseMouseButton(to) &&
                          WaitUntil([target] { return CaptureOf(target) == nullptr; });
    return moved && released;
}

bool PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        inputs.push_back(Key(key, false));
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        inputs.push_back(Key(*key, true));
    }
    return Send(inputs);
}

bool TypeText(const std::wstring& text)
{
    std::vector<INPUT> inputs;
    for (wchar_t unit : text) {
        inputs.push_back(Character(unit, false));
        inputs.push_back(Character(unit, true));
    }
    return Send(inputs);
}

HWND FocusOf(HWND window)
{
    return ThreadState(window).hwndFocus;
}

HWND CaptureOf(HWND window)
{
    return ThreadState(window).hwndCapture;
}

bool ClearClipboard()
{
    if (!OpenClipboardSoon()) {
        return false;
    }
    const bool emptied = ::EmptyClipboard() != FALSE;
    CloseClipboard();
    return emptied;
}

std::optional<std::wstring> WaitForClipboardText(DWORD timeoutMs)
{
    if (!WaitUntil([] { return IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE; },
                   timeoutMs) ||
        !OpenClipboardSoon()) {
        return std::nullopt;
    }
    std::optional<std::wstring> text;
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* units = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (units != nullptr) {
        // Up to the terminating zero, and never past the block.
        const size_t most = GlobalSize(data) / sizeof(wchar_t);
        size_t length = 0;
        while (length < most && units[length] != L'\0') {
            ++length;
        }
        text.emplace(units, length);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

std::optional<POINT> CharacterOnScreen(HWND richEdit, LONG character)
{
    // Rich edit 2.0 and later write the client position to the POINTL given.
    POINTL client = {};
    SendMessageW(richEdit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&client), character);
    RECT shown = {};
    POINT screen = {client.x, client.y};
    // A character scrolled out of the view has no place on the screen.
    if (!GetClientRect(richEdit, &shown) || !PtInRect(&shown, screen) ||
        !ClientToScreen(richEdit, &screen)) {
        return std::nullopt;
    }
    return screen;
}

}  // namespace testsupport
