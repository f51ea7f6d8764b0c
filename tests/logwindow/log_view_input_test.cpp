// The log view worked with the mouse and keyboard, as a reader does, while texts arrive.
#include "logwindow/log_view_rule.h"
#include "logwindow/windows_system_log.h"

#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/user_input.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <atomic>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

namespace {

using testsupport::LogWindowTest;
using testsupport::Positions;
using testsupport::WaitUntil;

// Texts of 165 to 195 units: the fill and all traffic stay below the trim,
// which would move the text under the pointer.
constexpr size_t kLongestText = 200;
constexpr int kFillTexts = 100;
constexpr int kMostTrafficTexts = 200;
static_assert((kFillTexts + kMostTrafficTexts) * kLongestText < kLogTrimAbove);
// About 50 texts a second, for longer than the drag lasts.
constexpr DWORD kTrafficGapMs = 20;
constexpr int kFirstTrafficNumber = 1000;
// A person's drag over three rows.
constexpr DWORD kDragMs = 2500;
constexpr int kDragSteps = 50;
static_assert(kDragSteps <= kMostTrafficTexts, "the drag's texts stay below the trim");
constexpr int kDraggedRows = 3;
// The label says what pressing the button will do.
constexpr wchar_t kAutoscrollIsOn[] = L"Autoscroll Off";
constexpr wchar_t kAutoscrollIsOff[] = L"Autoscroll On";

// A firewall's report as syslog senders send it, then `end`.
std::wstring FirewallText(int number, const wchar_t* end)
{
    const bool tcp = number % 2 == 0;
    wchar_t text[kLongestText + 1];
    const int written = swprintf(
        text, std::size(text),
        L"<4>Dec  9 04:%02d:%02d gw01 kernel: [UFW BLOCK] IN=eth0 OUT= SRC=203.0.113.%d "
        L"DST=192.0.2.10 LEN=60 TOS=0x00 PREC=0x00 TTL=%d ID=%d DF PROTO=%ls SPT=%d %ls%ls",
        number / 60 % 60, number % 60, number % 250, 40 + number % 24, number * 7919 % 65536,
        tcp ? L"TCP" : L"UDP", 1024 + number * 37 % 60000,
        tcp ? L"DPT=22 WINDOW=64240 RES=0x00 SYN URGP=0" : L"DPT=53 LEN=40", end);
    return written > 0 ? std::wstring(text, static_cast<size_t>(written)) : std::wstring();
}

// Hands texts over from a thread of its own, as a busy network sends them,
// until it is destroyed or has sent kMostTrafficTexts.
class Traffic {
public:
    Traffic(CWindowsSystemLog* log, const wchar_t* end)
        : thread([this, log, end] {
              for (int i = 0; i < kMostTrafficTexts && !stop; ++i) {
                  const std::wstring text = FirewallText(kFirstTrafficNumber + i, end);
                  log->HandOverText(text.c_str(), text.size());
                  ++sent;
                  Sleep(kTrafficGapMs);  // the senders' pace
              }
          })
    {
    }
    ~Traffic()
    {
        stop = true;
        thread.join();
    }
    Traffic(const Traffic&) = delete;
    Traffic& operator=(const Traffic&) = delete;

    int Sent() const { return sent; }

private:
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread thread;  // last: it starts once the fields above exist
};

// A drag over the newest rows and the text it selects.
struct Drag {
    LONG first;  // the first character selected
    LONG end;    // just past the last one
    POINT from;
    POINT to;

    bool operator==(const Drag& other) const
    {
        return first == other.first && end == other.end && from.x == other.from.x &&
               from.y == other.from.y && to.x == other.to.x && to.y == other.to.y;
    }
};

::testing::AssertionResult SameText(const std::wstring& copied, const std::wstring& expected)
{
    if (copied == expected) {
        return ::testing::AssertionSuccess();
    }
    size_t at = 0;
    while (at < copied.size() && at < expected.size() && copied[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure()
           << "copied " << copied.size() << " units, expected " << expected.size()
           << "; they differ from position " << at << "\n  copied:   "
           << ::testing::PrintToString(copied.substr(at, 40))
           << "\n  expected: " << ::testing::PrintToString(expected.substr(at, 40));
}

class LogViewInputTest : public LogWindowTest {
protected:
    // Pressed with the mouse, in its middle.
    void ClickButton(HWND button)
    {
        RECT bounds = {};
        ASSERT_TRUE(GetWindowRect(button, &bounds));
        const POINT middle = {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
        ASSERT_EQ(WindowFromPoint(middle), button) << "the button must be on top";
        ASSERT_TRUE(testsupport::ClickAt(middle));
    }

    void SetAutoscroll(bool on)
    {
        const wchar_t* wanted = on ? kAutoscrollIsOn : kAutoscrollIsOff;
        if (testsupport::ReadText(autoscrollButton) != wanted) {
            ClickButton(autoscrollButton);
            ASSERT_TRUE(
                WaitUntil([&] { return testsupport::ReadText(autoscrollButton) == wanted; }));
        }
    }

    // The same view each time: cleared, filled while Autoscroll follows the
    // end, then Autoscroll switched off and the view clicked into, in the
    // row above those a drag selects.
    void PrepareView(const wchar_t* end)
    {
        ASSERT_NO_FATAL_FAILURE(SetAutoscroll(true));
        // Something to clear, so that the press is seen to be done.
        Append(L"x");
        ClickButton(clearButton);
        ASSERT_TRUE(WaitUntil([&] { return View() != nullptr && ViewText().empty(); }));
        std::wstring fill;
        for (int i = 0; i < kFillTexts; ++i) {
            fill += FirewallText(i, end);
            HandOver(FirewallText(i, end));
        }
        ASSERT_TRUE(Settled());
        ASSERT_EQ(Positions(ViewText()), Positions(fill));
        ASSERT_NO_FATAL_FAILURE(SetAutoscroll(false));

        const HWND view = View();
        const LRESULT above = LowestDraggedRow() - kDraggedRows - 1;
        const std::optional<POINT> inside = testsupport::CharacterOnScreen(view, LineStart(above));
        ASSERT_TRUE(inside.has_value());
        ASSERT_TRUE(testsupport::ClickAt({inside->x + 1, inside->y + RowHeight() / 2}));
        ASSERT_TRUE(WaitUntil([&] {
            return testsupport::FocusOf(window) == view && GetForegroundWindow() == window;
        }));
    }

    // The row above the newest, which later texts lengthen.
    LRESULT LowestDraggedRow() { return SendMessageW(View(), EM_GETLINECOUNT, 0, 0) - 2; }

    LONG LineStart(LRESULT line)
    {
        return static_cast<LONG>(SendMessageW(View(), EM_LINEINDEX, static_cast<WPARAM>(line), 0));
    }

    LONG RowLength(LRESULT line)
    {
        return static_cast<LONG>(SendMessageW(View(), EM_LINELENGTH, LineStart(line), 0));
    }

    int RowHeight()
    {
        const LRESULT lowest = LowestDraggedRow();
        const std::optional<POINT> upper =
            testsupport::CharacterOnScreen(View(), LineStart(lowest - 1));
        const std::optional<POINT> lower =
            testsupport::CharacterOnScreen(View(), LineStart(lowest));
        return upper && lower ? lower->y - upper->y : 0;
    }

    // Up from the middle of the lowest dragged row to a quarter into the row
    // kDraggedRows higher, as a reader selects the last lines from their
    // end; each point a pixel inside its character, so the selection starts
    // and ends just before it.
    Drag PlanDrag()
    {
        const HWND view = View();
        const LRESULT last = LowestDraggedRow();
        const LRESULT first = last - kDraggedRows;
        Drag drag = {LineStart(first) + RowLength(first) / 4,
                     LineStart(last) + RowLength(last) / 2, {}, {}};
        const std::optional<POINT> from = testsupport::CharacterOnScreen(view, drag.end);
        const std::optional<POINT> to = testsupport::CharacterOnScreen(view, drag.first);
        const int middle = RowHeight() / 2;
        if (from && to && middle > 0) {
            drag.from = {from->x + 1, from->y + middle};
            drag.to = {to->x + 1, to->y + middle};
        }
        return drag;
    }

    // What Ctrl+C puts on the clipboard, in the view's positions.
    std::wstring CopySelection()
    {
        if (!testsupport::ClearClipboard() || !testsupport::PressKeys({VK_CONTROL, 'C'})) {
            return L"(no copy)";
        }
        const std::optional<std::wstring> copied =
            testsupport::WaitForClipboardText(testsupport::kPatienceMs);
        return copied ? Positions(*copied) : L"(nothing copied)";
    }
};

struct TrafficCase {
    const char* name;
    const wchar_t* end;  // what ends each text, the fill's too
};

TEST_F(LogViewInputTest, DragSelectsTheSameNewestTextWhileTextsArrive)
{
    const TrafficCase cases[] = {
        // As most senders send: the whole view is one paragraph.
        {"run-on texts", L" "},
        {"texts that end in a line break", L"\n"},
    };
    for (const TrafficCase& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(PrepareView(row.end));
        const Drag quiet = PlanDrag();
        ASSERT_EQ(WindowFromPoint(quiet.from), View()) << "the view must be on top";
        ASSERT_EQ(WindowFromPoint(quiet.to), View());
        ASSERT_TRUE(testsupport::DragLeft(quiet.from, quiet.to, kDragMs, kDragSteps));
        const std::wstring expected = CopySelection();
        // What lies between the two points, so the drag itself works.
        const auto length = static_cast<size_t>(quiet.end - quiet.first);
        ASSERT_TRUE(SameText(
            expected, Positions(ViewText()).substr(static_cast<size_t>(quiet.first), length)));

        ASSERT_NO_FATAL_FAILURE(PrepareView(row.end));
        const Drag busy = PlanDrag();
        ASSERT_TRUE(busy == quiet) << "the view must be as it was for the quiet drag";
        // A text at every step of the drag, whatever the machine's pace.
        const size_t before = ViewText().size();
        int sent = 0;
        ASSERT_TRUE(testsupport::DragLeft(busy.from, busy.to, kDragMs, kDragSteps, [&] {
            HandOver(FirewallText(kFirstTrafficNumber + sent++, row.end));
        }));
        ASSERT_TRUE(Settled());
        ASSERT_EQ(sent, kDragSteps);
        ASSERT_GT(ViewText().size(), before);
        EXPECT_TRUE(SameText(CopySelection(), expected)) << sent << " texts arrived meanwhile";
    }
}

// Where `word` is in `text`, and whether the view selects just that.
LONG FoundAt(const std::wstring& text, const std::wstring& word, size_t from = 0)
{
    const size_t at = text.find(word, from);
    return at == std::wstring::npos ? -1 : static_cast<LONG>(at);
}

bool Selects(HWND view, LONG start, size_t length)
{
    CHARRANGE selection = {};
    SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    return selection.cpMin == start && selection.cpMax == start + static_cast<LONG>(length);
}

TEST_F(LogViewInputTest, FindSelectsWhileTextsArriveAndTheMenuCopiesAll)
{
    const std::wstring needle = L"needle";
    ASSERT_NO_FATAL_FAILURE(SetAutoscroll(true));
    for (int i = 0; i < kFillTexts; ++i) {
        HandOver(FirewallText(i, i % 5 == 0 && i >= 85 ? L"needle " : L" "));
    }
    ASSERT_TRUE(Settled());
    const std::wstring filled = Positions(ViewText());
    const LONG first = FoundAt(filled, needle);
    const LONG second = FoundAt(filled, needle, static_cast<size_t>(first) + 1);
    ASSERT_GT(second, first);
    // The caret a few rows above the first one, as a click leaves it.
    const LRESULT row = SendMessageW(View(), EM_EXLINEFROMCHAR, 0, first) - 3;
    const std::optional<POINT> point = testsupport::CharacterOnScreen(View(), LineStart(row));
    ASSERT_TRUE(point.has_value());
    ASSERT_TRUE(testsupport::ClickAt({point->x + 1, point->y + RowHeight() / 2}));
    ASSERT_TRUE(WaitUntil([&] { return testsupport::FocusOf(window) == View(); }));
    {
        Traffic traffic(log, L" ");
        ASSERT_TRUE(testsupport::PressKeys({VK_CONTROL, 'F'}));
        const HWND dialog = testsupport::WaitForDialog(L"Find");
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return IsChild(dialog, testsupport::FocusOf(dialog)); }));
        ASSERT_TRUE(testsupport::TypeText(needle));
        ASSERT_TRUE(testsupport::PressKeys({VK_RETURN}));
        EXPECT_TRUE(WaitUntil(
            [&] { return testsupport::ReadText(autoscrollButton) == kAutoscrollIsOff; }));
        EXPECT_TRUE(WaitUntil([&] { return Selects(View(), first, needle.size()); }));
        ASSERT_TRUE(testsupport::PressKeys({VK_ESCAPE}));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
        // Without the dialog: F3 the next, Shift+F3 the one before.
        ASSERT_TRUE(testsupport::PressKeys({VK_F3}));
        EXPECT_TRUE(WaitUntil([&] { return Selects(View(), second, needle.size()); }));
        ASSERT_TRUE(testsupport::PressKeys({VK_SHIFT, VK_F3}));
        EXPECT_TRUE(WaitUntil([&] { return Selects(View(), first, needle.size()); }));
        ASSERT_TRUE(WaitUntil([&] { return traffic.Sent() >= kMostTrafficTexts / 2; }));
    }
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(Selects(View(), first, needle.size())) << "the found text stays selected";

    // Right-click, Select All; right-click, Copy: the whole view.
    const POINT inView = {point->x + 1, point->y + RowHeight() / 2};
    const auto choose = [&](WORD item) {
        const auto menuShown = [] {
            const HWND menu = FindWindowW(L"#32768", nullptr);
            return menu != nullptr && IsWindowVisible(menu);
        };
        return testsupport::ClickAt(inView, testsupport::MouseButton::Right) &&
               WaitUntil(menuShown) && testsupport::PressKeys({item}) &&
               WaitUntil([&] { return !menuShown(); });
    };
    ASSERT_TRUE(choose('A'));
    ASSERT_TRUE(WaitUntil([&] {
        CHARRANGE all = {};
        SendMessageW(View(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&all));
        return all.cpMin == 0 && all.cpMax >= static_cast<LONG>(Positions(ViewText()).size());
    }));
    ASSERT_TRUE(testsupport::ClearClipboard());
    ASSERT_TRUE(choose('C'));
    const std::optional<std::wstring> copied =
        testsupport::WaitForClipboardText(testsupport::kPatienceMs);
    ASSERT_TRUE(copied.has_value());
    EXPECT_TRUE(SameText(Positions(*copied), Positions(ViewText())));
}

}  // namespace
