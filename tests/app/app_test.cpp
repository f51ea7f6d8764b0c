// The real syslog.exe, started as a user would start it.
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"
#include "tests/support/wine_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using testsupport::WaitUntil;

// Only a hang exceeds this; the real figure is printed.
constexpr DWORD kExitPatienceMs = 10000;

std::wstring ProgramPath()
{
    return testsupport::WindowsPath(SYSLOG_EXE_PATH);
}

// One started copy of the program; killed by the destructor if still running.
class CProgram {
public:
    CProgram()
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
        }
    }

    ~CProgram()
    {
        if (process.hProcess == nullptr) {
            return;
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, kExitPatienceMs);
        }
        CloseHandle(process.hProcess);
    }

    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    bool Started() const { return process.hProcess != nullptr; }

    // Its shown window, or null when none appears in time.
    HWND Window() const
    {
        HWND found = nullptr;
        WaitUntil([&] {
            for (HWND window : testsupport::FindLogWindows()) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == process.dwProcessId && IsWindowVisible(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    bool EndsWithin(DWORD timeoutMs) const
    {
        return WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }

    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process = {};
};

// Closes the program's window as the close box does; returns how long the
// program took to end afterwards, or -1 when it did not end.
double CloseAndTimeExit(const CProgram& program, HWND window)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!testsupport::Close(window)) {
        return -1;
    }
    // Hidden at once, or already gone with its process.
    EXPECT_FALSE(IsWindowVisible(window));
    if (!program.EndsWithin(kExitPatienceMs)) {
        return -1;
    }
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

TEST(AppTest, ClosingTheWindowEndsTheProgramWithCodeZero)
{
    CProgram program;
    ASSERT_TRUE(program.Started());
    const HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    const double seconds = CloseAndTimeExit(program, window);
    ASSERT_GE(seconds, 0.0) << "the program did not end after its window was closed";
    std::printf("syslog.exe ended %.3f s after its window was closed\n", seconds);
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST(AppTest, SecondCopyEndsAtOnceWithoutAWindow)
{
    CProgram first;
    ASSERT_TRUE(first.Started());
    const HWND window = first.Window();
    ASSERT_NE(window, nullptr);

    CProgram second;
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(second.EndsWithin(kExitPatienceMs));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_EQ(testsupport::FindLogWindows().size(), 1u);

    EXPECT_GE(CloseAndTimeExit(first, window), 0.0);
}

TEST(AppTest, CopyStartedAfterTheFirstClosedRunsNormally)
{
    {
        CProgram first;
        ASSERT_TRUE(first.Started());
        const HWND window = first.Window();
        ASSERT_NE(window, nullptr);
        ASSERT_GE(CloseAndTimeExit(first, window), 0.0);
    }
    CProgram next;
    ASSERT_TRUE(next.Started());
    const HWND window = next.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_GE(CloseAndTimeExit(next, window), 0.0);
    EXPECT_EQ(next.ExitCode(), 0u);
}

}  // namespace
