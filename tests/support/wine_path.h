// Paths that the build passes to tests, as a Windows program opens them.
#pragma once

#include <string>

namespace testsupport {

// The build passes Unix paths under Wine; Wine's Z: drive is the root.
inline std::wstring WindowsPath(const wchar_t* built)
{
    std::wstring path = built;
    if (!path.empty() && path[0] == L'/') {
        path = L"Z:" + path;
    }
    for (wchar_t& unit : path) {
        if (unit == L'/') {
            unit = L'\\';
        }
    }
    return path;
}

}  // namespace testsupport
