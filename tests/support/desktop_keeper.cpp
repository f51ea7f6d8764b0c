// Keeps Wine's desktop open for a whole test run.
//
// Wine ends its desktop process a moment after the last program on the
// desktop ends, and the next program to need one starts it again, handing it
// its own output: a test runner reading that output would then wait for a
// process that never ends. tools/test starts this once, detached, and stops
// it with the wineserver.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/)
{
    GetDesktopWindow();  // attaches this process to the desktop
    Sleep(INFINITE);
    return 0;
}
