// A live log window for each test: the singleton, its thread and its controls.
#pragma once

#include "logwindow/window_numbers.h"
#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace testsupport {

// The view in character positions: every line break, however it was sent and
// however WM_GETTEXT reads it back (CR LF), is one '\r'.
inline std::wstring Positions(const std::wstring& text)
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

class LogWindowTest : public ::testing::Test {
public:
    void SetUp() override
    {
        previousKind = DefaultLogControlKind();
        if (chosenKind) {
            ChooseLogControlKind(*chosenKind);
        }
        log = CWindowsSystemLog::Instance();
        ASSERT_TRUE(log->StartWindowThread());
        window = log->window;
        // The window exists before it is shown.
        ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(window) != FALSE; }));
        clearButton = FindControl(window, IDC_CLEAR, L"Button");
        saveButton = FindControl(window, IDC_SAVE, L"Button");
        autoscrollButton = FindControl(window, IDC_AUTOSCROLL, L"Button");
        ASSERT_NE(View(), nullptr);
        ASSERT_NE(clearButton, nullptr);
        ASSERT_NE(saveButton, nullptr);
        ASSERT_NE(autoscrollButton, nullptr);
    }

    void TearDown() override
    {
        CWindowsSystemLog::DestroyInstance();
        ChooseLogControlKind(previousKind);
    }

    // As the receiver does, from a thread other than the window's.
    void HandOver(const std::wstring& text) { log->HandOverText(text.c_str(), text.size()); }

    // True once the window has shown everything handed over and found
    // nothing more when it looked again.
    bool Settled(DWORD patienceMs = kPatienceMs)
    {
        return WaitUntil([this] { return log->logView->Settled(); }, patienceMs);
    }

    // Hands `text` over and waits until the window has shown it.
    void Append(const std::wstring& text, DWORD patienceMs = kPatienceMs)
    {
        HandOver(text);
        ASSERT_TRUE(Settled(patienceMs));
    }

    // Found again each time: the window makes a new view when that is
    // cheaper than editing the old one.
    HWND View() const { return FindControl(window, IDC_LOG, L"RichEdit50W"); }

    std::wstring ViewText() { return ReadText(View()); }

    // Runs `work` on the window thread, from a message posted to the window,
    // as the window's own handlers run; returns without waiting for it.
    bool PostToWindowThread(const std::function<void()>& work);

    // The view's control for this test, when not the platform's own.
    std::optional<LogControlKind> chosenKind;
    LogControlKind previousKind = LogControlKind::Windows;
    CWindowsSystemLog* log = nullptr;
    HWND window = nullptr;
    HWND clearButton = nullptr;
    HWND saveButton = nullptr;
    HWND autoscrollButton = nullptr;
};

// A test run on each control in turn, chosen through the seam.
class LogControlTest : public LogWindowTest,
                       public ::testing::WithParamInterface<LogControlKind> {
public:
    LogControlTest() { chosenKind = GetParam(); }
};

inline std::string ControlName(const ::testing::TestParamInfo<LogControlKind>& info)
{
    return info.param == LogControlKind::Windows ? "Windows" : "Wine";
}

}  // namespace testsupport

// Runs the tests of `suite` (a LogControlTest) on both controls.
#define INSTANTIATE_FOR_BOTH_CONTROLS(suite)                                                 \
    INSTANTIATE_TEST_SUITE_P(BothControls, suite,                                           \
                             ::testing::Values(LogControlKind::Windows, LogControlKind::Wine), \
                             testsupport::ControlName)
