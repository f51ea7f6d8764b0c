// The resources of the built syslog.exe files, read back as Windows reads them.
#include "tests/support/wine_path.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

struct Executable {
    const char* name;
    const wchar_t* path;
};

const Executable kExecutables[] = {
    {"ThisBuild", SYSLOG_EXE_PATH},
#ifdef SYSLOG_OTHER_EXE_PATH
    {"OtherArchitecture", SYSLOG_OTHER_EXE_PATH},
#endif
};

void PrintTo(const Executable& executable, std::ostream* out)
{
    *out << executable.name;
}

// The bytes of one resource, or nothing when the module lacks it.
std::string ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name)
{
    const HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
}

#pragma pack(push, 2)
// An icon group as stored in a module: a directory of images kept as RT_ICON.
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct IconGroupEntry {
    BYTE width;  // 0 stands for 256
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(IconGroupEntry) == 14, "the stored icon group entry has 14 bytes");

constexpr WORD kIconId = 1;
// Lists and title bars at 100 % and 150 %, large icon views and high-dpi screens.
const std::set<int> kIconSizes = {16, 24, 32, 48, 64, 256};

class ResourcesTest : public ::testing::TestWithParam<Executable> {
protected:
    void SetUp() override
    {
        path = testsupport::WindowsPath(GetParam().path);
        // As data only: the other architecture's executable cannot run here.
        module = LoadLibraryExW(path.c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "cannot read " << GetParam().name
                                   << " (error " << GetLastError()
                                   << "); tools/test builds both architectures first";
    }

    void TearDown() override
    {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    // A string of the version information's US English, UTF-16 block.
    std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* key)
    {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || value == nullptr) {
            return L"(missing)";
        }
        return static_cast<const wchar_t*>(value);
    }

    std::wstring path;
    HMODULE module = nullptr;
};

BOOL CALLBACK KeepFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first)
{
    *reinterpret_cast<ULONG_PTR*>(first) = reinterpret_cast<ULONG_PTR>(name);
    return FALSE;  // stop at the first
}

TEST_P(ResourcesTest, FirstIconGroupIsOursInEverySize)
{
    // Explorer shows the first icon group, in the order that Windows lists them.
    ULONG_PTR first = 0;
    EnumResourceNamesW(module, RT_GROUP_ICON, &KeepFirstName, reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, ULONG_PTR{kIconId});

    const std::string group = ResourceBytes(module, RT_GROUP_ICON, MAKEINTRESOURCEW(kIconId));
    ASSERT_GE(group.size(), sizeof(IconGroupHeader));
    const auto* header = reinterpret_cast<const IconGroupHeader*>(group.data());
    EXPECT_EQ(header->type, 1);
    ASSERT_EQ(group.size(), sizeof(IconGroupHeader) + header->count * sizeof(IconGroupEntry));
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);

    std::set<int> sizes;
    for (WORD index = 0; index < header->count; ++index) {
        const IconGroupEntry& entry = entries[index];
        const int size = entry.width == 0 ? 256 : entry.width;
        SCOPED_TRACE(size);
        sizes.insert(size);
        EXPECT_EQ(entry.width, entry.height);
        EXPECT_EQ(entry.bitCount, 32);
        std::string image = ResourceBytes(module, RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(image.size(), entry.bytesInRes);
        // The image must decode, to the size the group promises.
        const HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                                    static_cast<DWORD>(image.size()), TRUE,
                                                    0x00030000, 0, 0, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr);
        ICONINFO parts = {};
        ASSERT_TRUE(GetIconInfo(icon, &parts));
        BITMAP colour = {};
        ASSERT_NE(parts.hbmColor, nullptr);
        GetObjectW(parts.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(parts.hbmColor);
        DeleteObject(parts.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, kIconSizes);
}

struct VersionStringCase {
    const wchar_t* key;
    std::wstring value;
};

const VersionStringCase kVersionStrings[] = {
    {L"ProductName", L"Syslog"},
    {L"FileDescription", L"Syslog receiver"},
    {L"FileVersion", SYSLOG_VERSION},
    {L"ProductVersion", SYSLOG_VERSION},
    {L"OriginalFilename", L"syslog.exe"},
    {L"InternalName", L"syslog"},
};

TEST_P(ResourcesTest, VersionInformationCarriesTheProjectVersion)
{
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    for (const VersionStringCase& row : kVersionStrings) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.key)));
        EXPECT_EQ(VersionString(info, row.key), row.value);
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD{SYSLOG_VERSION_MAJOR} << 16 | SYSLOG_VERSION_MINOR);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD{SYSLOG_VERSION_PATCH} << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

// What the manifest must say, each as it is written there.
const char* const kManifestParts[] = {
    // Visual styles for the buttons and the save dialog.
    "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
    // Windows 7, 8, 8.1 and 10 or 11.
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
    // The window scales itself, so Windows must not.
    ">true/pm</dpiAware>",
    ">PerMonitorV2, PerMonitor</dpiAwareness>",
    "level=\"asInvoker\"",
};

TEST_P(ResourcesTest, ManifestAsksForVisualStylesDpiAwarenessAndSupportedWindows)
{
    const std::string manifest = ResourceBytes(module, RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    for (const char* part : kManifestParts) {
        EXPECT_NE(manifest.find(part), std::string::npos) << "missing: " << part;
    }
}

TEST_P(ResourcesTest, ManifestMakesAnActivationContext)
{
    // What Windows does at every start: a manifest that it cannot parse, or
    // whose dependency it cannot find, stops the program from starting at all.
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    const HANDLE made = CreateActCtxW(&context);
    ASSERT_NE(made, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    ReleaseActCtx(made);
}

INSTANTIATE_TEST_SUITE_P(Executables, ResourcesTest, ::testing::ValuesIn(kExecutables),
                         [](const ::testing::TestParamInfo<Executable>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
