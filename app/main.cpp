// Process entry of the syslog receiver: start-up, the main loop and teardown.
#include <winsock2.h>
#include <windows.h>

#include "app/receiver.h"
#include "logwindow/windows_system_log.h"

static constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
static_assert(kWinsockVersion == 0x0202, "Windows Sockets 2.2");
// "Syslog" and five underscores, in the session namespace.
static constexpr wchar_t kSingleInstanceMutex[] = L"Syslog_____";
// How soon a closed window is noticed; an idle program wakes only this often.
static constexpr DWORD kMainLoopPollMs = 50;

// Holds the single-instance mutex for the rest of the process; the system
// releases it when the process ends. False when another copy runs already or
// the mutex cannot be made.
static bool IsOnlyCopy()
{
    SetLastError(ERROR_SUCCESS);
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutex);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return mutex != nullptr;
}

// Ends when the user has closed the window; it is hidden then, not destroyed.
static void RunMainLoop(CWindowsSystemLog* log)
{
    while (log->visible) {
        Sleep(kMainLoopPollMs);
        PollReceiver();
    }
}

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/)
{
    // Windows Sockets is never shut down explicitly: the process end does it.
    WSADATA winsock;
    if (WSAStartup(kWinsockVersion, &winsock) != 0) {
        MessageBoxW(nullptr, L"WSAStartup error", L"Fatal error", MB_OK);
        return 0;
    }
    // A second copy ends silently; the first one is left alone.
    if (!IsOnlyCopy()) {
        return 0;
    }
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    // Without a window there is nothing to show and nothing to wait for.
    if (log->StartWindowThread()) {
        StartReceiver();
        RunMainLoop(log);
        StopReceiver();
    }
    CWindowsSystemLog::DestroyInstance();
    return 0;
}
