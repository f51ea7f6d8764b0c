#include "logwindow/log_text.h"

#include "tests/support/failing_resize_wide_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Each text's line breaks become one unit each, as the view counts them;
// texts are added one by one, so a break is never joined across two.
TEST(LogTextTest, EveryLineBreakBecomesOneUnit)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> texts;
        std::wstring held;
    };
    const Case cases[] = {
        {"CR LF, lone CR, lone LF", {L"a\r\nb\rc\nd"}, L"a\rb\rc\rd"},
        {"CR CR LF is two", {L"a\r\r\nb"}, L"a\r\rb"},
        {"a CR LF split between two texts is two", {L"a\r", L"\nb"}, L"a\r\rb"},
        {"a zero unit is left out", {std::wstring(L"x\0y", 3)}, L"xy"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        CLogText text;
        for (const std::wstring& added : row.texts) {
            ASSERT_TRUE(text.AppendWithLineBreaks(added.data(), added.size()));
        }
        EXPECT_EQ(std::wstring(text.Text(), text.Units()), row.held);
    }
}

// Without memory a text stays as it was; dropping from the front never
// reads past the end.
TEST(LogTextTest, FailedGrowthChangesNothingAndRemovingPastTheEndEmpties)
{
    CLogText text;
    ASSERT_TRUE(text.Append(L"kept", 4));
    gFailWideBufferGrowth = true;
    const bool grew = text.Append(std::wstring(1000, L'x').c_str(), 1000);
    const bool reserved = text.Reserve(5000);
    gFailWideBufferGrowth = false;
    EXPECT_FALSE(grew);
    EXPECT_FALSE(reserved);
    EXPECT_EQ(std::wstring(text.Text()), L"kept");
    text.RemoveFront(2);
    EXPECT_EQ(std::wstring(text.Text()), L"pt");
    text.RemoveFront(10);
    EXPECT_EQ(text.Units(), 0u);
    EXPECT_EQ(std::wstring(text.Text()), L"");
}

}  // namespace
