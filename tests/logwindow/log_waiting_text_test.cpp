#include "logwindow/log_waiting_text.h"

#include "tests/support/failing_resize_wide_block.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring TextOf(const CLogWaitingText& waiting)
{
    return std::wstring(waiting.Text(), waiting.Units());
}

// Numbered pieces of 1,000 units, so a cut shows where it fell.
std::wstring Piece(int number)
{
    std::wstring piece = L"<" + std::to_wstring(number) + L">";
    piece.resize(1000, L'.');
    return piece;
}

TEST(LogWaitingTextTest, KeepsTheNewestTextInOrderWithinItsBound)
{
    struct Case {
        const char* name;
        int pieces;          // added one by one
        size_t extra;        // then one text of this many units, 0 for none
    };
    const Case cases[] = {
        {"a little", 3, 0},
        {"exactly the bound", static_cast<int>(CLogWaitingText::kMostUnits / 1000),
         CLogWaitingText::kMostUnits % 1000},
        {"past the bound", 300, 0},
        {"one text larger than the bound", 2, 3 * CLogWaitingText::kMostUnits},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        CLogWaitingText waiting;
        std::wstring all;
        for (int i = 0; i < row.pieces; ++i) {
            ASSERT_TRUE(waiting.Add(Piece(i).c_str(), 1000));
            all += Piece(i);
            ASSERT_LE(waiting.Units(), CLogWaitingText::kMostUnits);
        }
        if (row.extra > 0) {
            std::wstring extra(row.extra, L'e');
            extra.back() = L'!';
            ASSERT_TRUE(waiting.Add(extra.c_str(), extra.size()));
            all += extra;
        }
        EXPECT_LE(waiting.Units(), CLogWaitingText::kMostUnits);
        // What is kept is the newest text, never less than a view's worth.
        EXPECT_GE(waiting.Units(), std::min(all.size(), CLogWaitingText::kKeptUnits));
        EXPECT_TRUE(TextOf(waiting) == all.substr(all.size() - waiting.Units()));
        EXPECT_EQ(waiting.Text()[waiting.Units()], L'\0');
    }
}

TEST(LogWaitingTextTest, SwapHandsEverythingOverAndClearStartsAfresh)
{
    CLogWaitingText waiting;
    CLogWaitingText taken;
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(waiting.Add(Piece(i).c_str(), 1000));
    }
    waiting.SwapWith(taken);
    EXPECT_EQ(waiting.Units(), 0u);
    EXPECT_EQ(TextOf(taken).substr(taken.Units() - 1000), Piece(299));

    ASSERT_TRUE(waiting.Add(L"next", 4));
    EXPECT_EQ(TextOf(waiting), L"next");
    taken.Clear();
    EXPECT_EQ(taken.Units(), 0u);
    EXPECT_EQ(std::wstring(taken.Text()), L"");
}

// Without memory to grow, the newest text takes the room the oldest held;
// only a text with no room at all is lost, and Add says so.
TEST(LogWaitingTextTest, KeepsTheNewestTextInTheRoomThereIsWhenMemoryIsShort)
{
    CLogWaitingText waiting;
    ASSERT_TRUE(waiting.Add(std::wstring(1000, L'a').c_str(), 1000));
    CLogWaitingText empty;
    gFailWideBufferGrowth = true;
    const bool newerKept = waiting.Add(std::wstring(600, L'b').c_str(), 600);
    const std::wstring afterNewer = TextOf(waiting);
    const bool largestKept = waiting.Add((std::wstring(1500, L'c') + L"!").c_str(), 1501);
    const bool nothingKept = empty.Add(L"lost", 4);
    gFailWideBufferGrowth = false;
    EXPECT_TRUE(newerKept);
    EXPECT_TRUE(afterNewer == std::wstring(400, L'a') + std::wstring(600, L'b'));
    EXPECT_TRUE(largestKept);
    EXPECT_TRUE(TextOf(waiting) == std::wstring(999, L'c') + L"!");
    EXPECT_FALSE(nothingKept);
    EXPECT_EQ(empty.Units(), 0u);
}

}  // namespace
