// Names the calling thread, for debuggers and per-thread CPU figures.
#include "runtime/thread_name.h"

#include <windows.h>

void NameCurrentThread(const wchar_t* name)
{
    using SetThreadDescriptionCall = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    // Looked up, not linked: Windows 7 and 8 lack it. Through void(*)(): a
    // cast between unrelated function types draws a warning.
    static const auto setThreadDescription = reinterpret_cast<SetThreadDescriptionCall>(
        reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setThreadDescription != nullptr) {
        setThreadDescription(GetCurrentThread(), name);  // a name is a convenience: no check
    }
}
