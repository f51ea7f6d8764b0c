// Wine's control: where a trim makes a new control, and memory that its trims give back.
#include "logwindow/wine/wine_log_control.h"

#include "tests/logwindow/log_texts.h"
#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/user_input.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <string>

namespace {

using testsupport::CLogTextOf;
using testsupport::Filled;
using testsupport::FocusOf;
using testsupport::Lines;
using testsupport::WaitUntil;

struct TouchCase {
    const char* name;
    std::wstring shown;
    size_t removed;
    bool touches;
};

TEST(WineLogControlTest, TrimTouchesALongParagraphWhereDeletingCostsALayout)
{
    const TouchCase cases[] = {
        {"lines", Filled(65600, 100), 10400, false},
        {"one paragraph: cut in the middle of it", Filled(65600), 10305, true},
        // Deleting lines joins what stays to the paragraph after them.
        {"short lines before a long paragraph", Filled(10400, 100) + Filled(55200), 10400, true},
        {"short lines, then short lines before a long paragraph",
         Filled(20000, 100) + Filled(45600), 10400, false},
        {"a long paragraph deleted whole", Filled(5000) + Filled(60000, 100), 5100, true},
        {"a view of lines emptied", Filled(30000, 100), 30000, false},
        {"a long paragraph emptied", Filled(30000), 30000, true},
    };
    for (const TouchCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(TrimTouchesLongParagraph(CLogTextOf(row.shown), row.removed), row.touches);
    }
}

class WineLogControlInViewTest : public testsupport::LogWindowTest {
protected:
    WineLogControlInViewTest() { chosenKind = LogControlKind::Wine; }
};

// Busy blocks of the process heap, where Wine's control keeps its text.
size_t HeapBlocks()
{
    const HANDLE heap = GetProcessHeap();
    size_t blocks = 0;
    if (HeapLock(heap)) {
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry)) {
            blocks += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0 ? 1 : 0;
        }
        HeapUnlock(heap);
    }
    return blocks;
}

// Lines alone never trim a long paragraph, so one control is trimmed in
// place step after step, for weeks: what it deletes must give its memory
// back, and nothing it showed may be undone.
TEST_F(WineLogControlInViewTest, LinesTrimmedInPlaceGiveTheirMemoryBack)
{
    constexpr size_t kLine = 60;
    constexpr size_t kStepUnits = 12000;
    constexpr int kSteps = 30;  // 6,000 lines deleted
    Append(Lines(kLogTrimAbove, kLine));
    Append(L"\n" + Lines(kStepUnits, kLine));
    const HWND control = View();
    const size_t before = HeapBlocks();
    for (int step = 0; step < kSteps; ++step) {
        Append(L"\n" + Lines(kStepUnits, kLine));
    }
    const size_t after = HeapBlocks();
    EXPECT_EQ(View(), control) << "lines are trimmed in place";
    constexpr size_t kDeletedLines = kSteps * kStepUnits / kLine;
    EXPECT_LT(after, before + kDeletedLines / 10)
        << (after - before) << " blocks more after " << kDeletedLines << " lines deleted";

    const std::wstring shown = ViewText();
    EXPECT_FALSE(SendMessageW(control, EM_CANUNDO, 0, 0));
    SendMessageW(control, EM_UNDO, 0, 0);
    EXPECT_EQ(ViewText(), shown);
}

// A trim of a long paragraph shows a new control: to the person reading, it
// must be the same view, as zoomed, as focused and holding the same text.
TEST_F(WineLogControlInViewTest, ANewControlKeepsTheZoomTheFocusAndTheText)
{
    constexpr int kZoomNumerator = 3;
    constexpr int kZoomDenominator = 2;
    const std::wstring paragraph = Filled(kLogTrimAbove + 1);  // trimmed at the next text
    Append(paragraph);
    const HWND before = View();
    SendMessageW(before, EM_SETZOOM, kZoomNumerator, kZoomDenominator);
    ASSERT_TRUE(PostToWindowThread([before] { SetFocus(before); }));
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(window) == before; }));

    const std::wstring added = L" appended";
    Append(added);
    const HWND after = View();
    ASSERT_NE(after, before) << "a trim of a long paragraph makes a new control";
    const std::wstring shown = ViewText();
    EXPECT_LE(shown.size(), kLogKeepAfterTrim + added.size());
    EXPECT_TRUE((paragraph + added).ends_with(shown)) << "the view keeps the newest text";
    int numerator = 0;
    int denominator = 0;
    SendMessageW(after, EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator),
                 reinterpret_cast<LPARAM>(&denominator));
    EXPECT_EQ(numerator, kZoomNumerator);
    EXPECT_EQ(denominator, kZoomDenominator);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == after; }));
}

}  // namespace
