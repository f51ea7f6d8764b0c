// Runs test code on the log window's thread, through a message to the window.
#include "tests/logwindow/log_window_fixture.h"

namespace testsupport {

namespace {

// Far from the window's own messages.
constexpr UINT kRunWorkMessage = WM_APP + 0x100;

WNDPROC gWindowProc = nullptr;

LRESULT CALLBACK RunningWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kRunWorkMessage) {
        auto* work = reinterpret_cast<std::function<void()>*>(lParam);
        (*work)();
        delete work;
        return 0;
    }
    return CallWindowProcW(gWindowProc, hwnd, message, wParam, lParam);
}

}  // namespace

bool LogWindowTest::PostToWindowThread(const std::function<void()>& work)
{
    const auto running = reinterpret_cast<LONG_PTR>(&RunningWindowProc);
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) != running) {
        gWindowProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, running));
    }
    auto* copy = new std::function<void()>(work);
    if (!PostMessageW(window, kRunWorkMessage, 0, reinterpret_cast<LPARAM>(copy))) {
        delete copy;
        return false;
    }
    return true;
}

}  // namespace testsupport
