// A live log window for each test: the singleton, its thread and its controls.
#pragma once

#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace testsupport {

class LogWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log = CWindowsSystemLog::Instance();
        ASSERT_TRUE(log->StartWindowThread());
        window = log->window;
        // The window exists before it is shown.
        ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(window) != FALSE; }));
        view = FindControl(window, IDC_LOG, L"RichEdit50W");
        clearButton = FindControl(window, IDC_CLEAR, L"Button");
        saveButton = FindControl(window, IDC_SAVE, L"Button");
        autoscrollButton = FindControl(window, IDC_AUTOSCROLL, L"Button");
        ASSERT_NE(view, nullptr);
        ASSERT_NE(clearButton, nullptr);
        ASSERT_NE(saveButton, nullptr);
        ASSERT_NE(autoscrollButton, nullptr);
    }

    void TearDown() override { CWindowsSystemLog::DestroyInstance(); }

    // As the receiver does: a malloc'ed copy, sent under the window's lock
    // from a thread other than the window's.
    void Append(const std::wstring& text)
    {
        auto* copy = static_cast<wchar_t*>(malloc((text.size() + 1) * sizeof(wchar_t)));
        ASSERT_NE(copy, nullptr);
        wmemcpy(copy, text.c_str(), text.size() + 1);
        CScopedLock guard(log->lock);
        SendMessageW(window, WM_LOG_APPEND, reinterpret_cast<WPARAM>(copy), 0);
    }

    std::wstring ViewText() { return ReadText(view); }

    CWindowsSystemLog* log = nullptr;
    HWND window = nullptr;
    HWND view = nullptr;
    HWND clearButton = nullptr;
    HWND saveButton = nullptr;
    HWND autoscrollButton = nullptr;
};

}  // namespace testsupport
