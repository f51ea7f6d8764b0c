// Saving the log view to a file, through the Save button and its dialog as a user does.
#include "logwindow/log_file.h"

#include "logwindow/log_append.h"
#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace {

using testsupport::LogWindowTest;
using testsupport::WaitUntil;

// A file name in the temporary folder that no other test uses.
std::wstring TempPath(const std::wstring& stem)
{
    static std::atomic<int> counter{0};
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"logview-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L"-" + stem + L".log";
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return bytes;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, got);
    }
    fclose(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    fclose(file);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class LogFileTest : public LogWindowTest {
protected:
    ~LogFileTest() override { DeleteFileW(path.c_str()); }

    // Presses Save and drives the dialog, as a user would.
    void SaveThroughDialog()
    {
        ASSERT_TRUE(testsupport::PostClick(saveButton));
        const HWND dialog = testsupport::WaitForDialog(testsupport::kSaveDialogTitle);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
        ASSERT_TRUE(testsupport::SaveAs(dialog, path));
    }

    std::wstring path = TempPath(L"save");
};

TEST_F(LogFileTest, FileHoldsTheViewTextAsUtf8)
{
    Append(L"Syslog\r\n");
    Append(L"caf\u00E9\n\xD83D\xDE00 last");
    SaveThroughDialog();
    // No byte-order mark, CR LF line ends as the view reads them back, a
    // character outside the BMP as one four-byte sequence, the last one kept.
    EXPECT_EQ(ReadFileBytes(path), "Syslog\r\ncaf\xC3\xA9\r\n\xF0\x9F\x98\x80 last");
}

// Lines as firewalls send them, with no line break, in many steps.
TEST_F(LogFileTest, RunOnTextsAreSavedExactlyAsReceived)
{
    std::string sent;
    for (int i = 0; i < 400; ++i) {
        char text[160];
        snprintf(text, sizeof text,
                 "<4>Dec  9 04:15:%02d gw01 kernel: [UFW BLOCK] IN=eth0 SRC=203.0.113.%d "
                 "DST=192.0.2.10 caf\xC3\xA9 {\\rtf1} SPT=%d SYN ",
                 i % 60, i % 250, 30000 + i);
        AppendUtf8ToLog(text);
        sent += text;
    }
    ASSERT_TRUE(Settled());
    SaveThroughDialog();
    EXPECT_EQ(ReadFileBytes(path), sent);
}

TEST_F(LogFileTest, EmptyViewCreatesNoFile)
{
    SaveThroughDialog();
    EXPECT_FALSE(Exists(path));
}

TEST_F(LogFileTest, EmptyViewLeavesAnExistingFileAlone)
{
    WriteFileBytes(path, "earlier log");
    SaveThroughDialog();
    EXPECT_EQ(ReadFileBytes(path), "earlier log");
}

TEST_F(LogFileTest, FileThatCannotBeOpenedIsReportedAndChangesNothing)
{
    WriteFileBytes(path, "earlier log");
    // Held open without sharing, so the save cannot open it.
    const HANDLE held =
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Append(L"new text");

    ASSERT_TRUE(testsupport::PostClick(saveButton));
    const HWND dialog = testsupport::WaitForDialog(testsupport::kSaveDialogTitle);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(testsupport::SaveAs(dialog, path));
    const HWND box = testsupport::WaitForOwnedDialog(window);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(testsupport::ReadDialogText(box).find(path), std::wstring::npos);
    ASSERT_TRUE(testsupport::PressDialogButton(box, IDOK));
    EXPECT_TRUE(WaitUntil([box] { return !IsWindow(box); }));
    CloseHandle(held);

    EXPECT_EQ(ReadFileBytes(path), "earlier log");
    EXPECT_EQ(ViewText(), L"new text");
}

}  // namespace
