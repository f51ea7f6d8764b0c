// Wine's control: where a trim makes a new control, and the bound on what one control takes in.
#include "logwindow/wine/wine_log_control.h"

#include "tests/logwindow/log_texts.h"
#include "tests/logwindow/log_window_fixture.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <string>

namespace {

using testsupport::CLogTextOf;
using testsupport::Filled;
using testsupport::Positions;

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

class WineLogControlBoundTest : public testsupport::LogWindowTest {
protected:
    WineLogControlBoundTest() { chosenKind = LogControlKind::Wine; }
};

LONG TopLineStart(HWND view)
{
    const LRESULT line = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    return static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

// Lines alone never trim a long paragraph; yet once a control has taken in
// more lines than its bound, a new one takes over with the same text, zoom
// and reader's place.
TEST_F(WineLogControlBoundTest, ControlIsReplacedOnceItTookInMoreLinesThanItsBound)
{
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    std::wstring expected;
    for (int i = 0; i < 1000; ++i) {
        expected += L"row " + std::to_wstring(i) + L"\n";
    }
    Append(expected);
    const HWND first = View();
    ASSERT_TRUE(SendMessageW(first, EM_SETZOOM, 3, 2));
    const std::wstring filled = Positions(ViewText());
    const auto at = static_cast<LONG>(filled.find(L"row 500\r"));
    SendMessageW(first, EM_SETSEL, at, at + 7);
    SendMessageW(first, EM_LINESCROLL, 0,
                 SendMessageW(first, EM_EXLINEFROMCHAR, 0, at) -
                     SendMessageW(first, EM_GETFIRSTVISIBLELINE, 0, 0));
    const LONG top = TopLineStart(first);

    // Empty lines, a step at a time: the view stays far below a trim.
    constexpr size_t kStepLines = 5000;
    for (size_t taken = 0; taken <= kWineMostLinesPerControl; taken += kStepLines) {
        Append(std::wstring(kStepLines, L'\n'));
        expected += std::wstring(kStepLines, L'\n');
        ASSERT_LT(expected.size(), kLogTrimAbove);
    }
    const HWND last = View();
    EXPECT_NE(last, first) << "the control that took in every line is still there";
    EXPECT_EQ(Positions(ViewText()), Positions(expected));
    CHARRANGE selection = {};
    SendMessageW(last, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(selection.cpMin, at);
    EXPECT_EQ(selection.cpMax, at + 7);
    EXPECT_EQ(TopLineStart(last), top);
    int numerator = 0;
    int denominator = 0;
    SendMessageW(last, EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator),
                 reinterpret_cast<LPARAM>(&denominator));
    EXPECT_EQ(numerator * 2, denominator * 3);
}

}  // namespace
