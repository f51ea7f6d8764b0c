#include "logwindow/log_append_batch.h"

#include "tests/logwindow/log_window_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using testsupport::LogWindowTest;

class LogAppendBatchTest : public LogWindowTest {
protected:
    void ClearView()
    {
        ASSERT_TRUE(testsupport::Click(clearButton));
        ASSERT_EQ(ViewText(), L"");
    }

    // The window thread shows queued texts in its own time.
    bool ShowsInTime(const std::wstring& expected)
    {
        const bool shown = testsupport::WaitUntil([&] { return ViewText() == expected; });
        if (!shown) {
            ADD_FAILURE() << "the view holds " << ViewText().size() << " units";
        }
        return shown;
    }
};

TEST_F(LogAppendBatchTest, ShowsEachTextAsSentOneAfterAnotherInOneAppend)
{
    struct Case {
        const char* name;
        std::vector<std::string> texts;
        std::wstring shown;
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
        {"line breaks are the senders' own", {"first\n", "second"}, L"first\r\nsecond"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearView();
        CLogAppendBatch batch;
        for (const std::string& text : c.texts) {
            EXPECT_TRUE(batch.Add(text.data(), text.size()));
        }
        EXPECT_EQ(ViewText(), L"");  // nothing shows before the flush
        batch.Flush();
        EXPECT_EQ(batch.PendingBytes(), 0u);
        EXPECT_TRUE(ShowsInTime(c.shown));
    }
}

TEST_F(LogAppendBatchTest, FlushWithNothingKeptAddsNothing)
{
    ClearView();
    CLogAppendBatch batch;
    EXPECT_TRUE(batch.Add(nullptr, 5));
    EXPECT_TRUE(batch.Add("x", 0));
    batch.Flush();
    EXPECT_EQ(log->queuedTexts->QueuedBytes(), 0u);
    EXPECT_EQ(ViewText(), L"");
}

TEST_F(LogAppendBatchTest, LargeBatchGoesOutInPartsWithNothingLostOrReordered)
{
    ClearView();
    CLogAppendBatch batch;
    std::wstring expected;
    size_t mostPending = 0;
    // 50 texts of 1,000 bytes: more than one append may carry, less than
    // the view keeps, so the whole lot stays in view.
    for (int i = 0; i < 50; ++i) {
        std::string text = "#" + std::to_string(1000 + i) + "#";
        text.resize(999, 'x');
        text += '.';
        ASSERT_TRUE(batch.Add(text.data(), text.size()));
        mostPending = std::max(mostPending, batch.PendingBytes());
        expected += std::wstring(text.begin(), text.end());
    }
    batch.Flush();
    EXPECT_LE(mostPending, CLogAppendBatch::kMostPendingBytes);
    EXPECT_TRUE(ShowsInTime(expected));
}

}  // namespace
