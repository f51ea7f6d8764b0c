#include "logwindow/log_append_batch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring TextOf(const CLogAppendBatch& batch)
{
    return batch.Units() == 0 ? std::wstring() : std::wstring(batch.Text(), batch.Units());
}

TEST(LogAppendBatchTest, HoldsEachTextAsSentOneAfterAnother)
{
    struct Case {
        const char* name;
        std::vector<std::string> texts;
        std::wstring held;
    };
    const Case cases[] = {
        {"in order, nothing between", {"one", "two", "three"}, L"onetwothree"},
        {"a zero byte ends its own text only", {std::string("ab\0cd", 5), "ef"}, L"abef"},
        {"a text that starts with zero adds nothing", {std::string("\0x", 2), "y"}, L"y"},
        // Joined, these bytes would read as one euro sign.
        {"a cut-short sequence does not join the next text", {"\xE2\x82", "\xAC"}, L"\xFFFD\xFFFD"},
        {"nor does a cut-short pair", {"\xC3", "\xA9", "A"}, L"\xFFFD\xFFFD" L"A"},
        {"a byte that continues nothing", {"\x80", "\xC3\xA9"}, L"\xFFFD\x00E9"},
        {"outside the BMP", {"\xF0\x9F\x98\x80", "!"}, L"\xD83D\xDE00!"},
        {"line breaks are the senders' own", {"first\n", "second"}, L"first\nsecond"},
        {"longer than a datagram", {std::string(3000, 'x') + "\xE2\x82", "y"},
         std::wstring(3000, L'x') + L"\xFFFDy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLogAppendBatch batch;
        for (const std::string& text : c.texts) {
            EXPECT_TRUE(batch.Add(text.data(), text.size()));
        }
        EXPECT_EQ(TextOf(batch), c.held);
        EXPECT_EQ(batch.Text()[batch.Units()], L'\0');
    }
}

TEST(LogAppendBatchTest, NothingToAddKeepsItEmptyAndClearEmptiesIt)
{
    CLogAppendBatch batch;
    EXPECT_TRUE(batch.Add(nullptr, 5));
    EXPECT_TRUE(batch.Add("x", 0));
    EXPECT_EQ(batch.Units(), 0u);
    ASSERT_TRUE(batch.Add("abc", 3));
    batch.Clear();
    EXPECT_EQ(batch.Units(), 0u);
    ASSERT_TRUE(batch.Add("d", 1));
    EXPECT_EQ(TextOf(batch), L"d");
}

}  // namespace
