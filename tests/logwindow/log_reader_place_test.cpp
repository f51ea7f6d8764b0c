// The reader's place in the log view, kept across a trim on each control.
#include "logwindow/log_reader_place.h"

#include "runtime/wine_detection.h"

#include "tests/logwindow/log_texts.h"
#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>

namespace {

using testsupport::Positions;
using testsupport::Words;

using LogReaderPlaceTest = testsupport::LogControlTest;

LRESULT FirstVisibleLine(HWND view)
{
    return SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
}

std::wstring RowHead(int line)
{
    wchar_t head[16];
    swprintf(head, 16, L"row %04d", line);
    return head;
}

LONG LineStart(HWND view, LRESULT line)
{
    return static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

struct KeptPlaceCase {
    const char* name;
    const wchar_t* rowEnd;  // a line break, or a space: one paragraph
    int row;                // its head is selected and scrolled to the top
};

TEST_P(LogReaderPlaceTest, WithAutoscrollOffTheReadersPlaceStaysAcrossATrim)
{
    // 1,100 rows of 60 positions: the next append trims the first 10,700 or so.
    const KeptPlaceCase cases[] = {
        {"a line the trim leaves", L"\n", 700},
        {"a line the trim takes", L"\n", 100},
        {"one paragraph: a place the trim leaves", L" ", 700},
        {"one paragraph: a place the trim takes", L" ", 100},
    };
    ASSERT_TRUE(testsupport::Click(autoscrollButton));
    for (const KeptPlaceCase& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(testsupport::Click(clearButton));
        // Three texts, each shown in a step of its own and each less than a
        // trim keeps: no step trims, whatever the machine's pace, and the
        // view ends just above the trim threshold.
        std::wstring text;
        for (int line = 0; line < 1100; ++line) {
            text += RowHead(line) + L" " + Words(50) + row.rowEnd;
            if (line % 500 == 499 || line == 1099) {
                Append(text);
                text.clear();
            }
        }
        const std::wstring before = Positions(ViewText());
        const auto at = static_cast<LONG>(before.find(RowHead(row.row)));
        SendMessageW(View(), EM_SETSEL, at, at + 8);
        const LRESULT line = SendMessageW(View(), EM_EXLINEFROMCHAR, 0, at);
        SendMessageW(View(), EM_LINESCROLL, 0, line - FirstVisibleLine(View()));
        const LONG topStart = LineStart(View(), FirstVisibleLine(View()));

        Append(L"appended\n");
        const auto removed =
            static_cast<LONG>(before.size() + 9 - Positions(ViewText()).size());
        ASSERT_GT(removed, 0) << "the append must trim";
        const HWND view = View();
        CHARRANGE selection = {};
        SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        const LRESULT top = FirstVisibleLine(view);
        if (at >= removed) {
            // The same characters still selected, and the top line's first
            // one still in the top line (a paragraph may wrap anew). Windows'
            // control under Wine scrolls in steps of 24 pixels, not by its
            // rows (it never lays out text in its default format), so there
            // the line may land a row off; on Windows it moves by rows.
            EXPECT_EQ(selection.cpMin, at - removed);
            EXPECT_EQ(selection.cpMax, at - removed + 8);
            const LRESULT slack = GetParam() == LogControlKind::Windows && RunsOnWine() ? 1 : 0;
            EXPECT_LE(LineStart(view, std::max<LRESULT>(0, top - slack)), topStart - removed);
            EXPECT_GT(LineStart(view, top + 1 + slack), topStart - removed);
        } else {
            // Trimmed away: the view's start.
            EXPECT_EQ(selection.cpMin, 0);
            EXPECT_EQ(selection.cpMax, 0);
            EXPECT_EQ(top, 0);
        }
    }
}

INSTANTIATE_FOR_BOTH_CONTROLS(LogReaderPlaceTest);

}  // namespace
