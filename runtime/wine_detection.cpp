// Whether the program runs under Wine, whose controls need workarounds that Windows does not.
#include "runtime/wine_detection.h"

#include <windows.h>

bool RunsOnWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
