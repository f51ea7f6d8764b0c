// The reader's place in the log view: the selection, its active end and the top line, kept across a step.
#include "logwindow/log_reader_place.h"

#include <ole2.h>
#include <richole.h>
#include <tom.h>

namespace {

// IID_ITextDocument, which not every SDK's import libraries define.
constexpr IID kTextDocumentId = {0x8CC497C0, 0xA1DF, 0x11CE,
                                 {0x80, 0x98, 0x00, 0xAA, 0x00, 0x47, 0xBE, 0x5D}};

// The control's selection as its text object model shows it: the only way to
// learn or set which end of a selection is active, since EM_EXGETSEL and
// EM_EXSETSEL order the two ends. Wine's control implements neither call,
// so there a selection always comes back with its end active.
class CTextSelection {
public:
    explicit CTextSelection(HWND view)
    {
        IRichEditOle* ole = nullptr;
        if (!SendMessageW(view, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole)) ||
            ole == nullptr) {
            return;
        }
        ITextDocument* document = nullptr;
        if (SUCCEEDED(ole->QueryInterface(kTextDocumentId, reinterpret_cast<void**>(&document))) &&
            document != nullptr) {
            document->GetSelection(&selection);
            document->Release();
        }
        ole->Release();
    }
    ~CTextSelection()
    {
        if (selection != nullptr) {
            selection->Release();
        }
    }
    CTextSelection(const CTextSelection&) = delete;
    CTextSelection& operator=(const CTextSelection&) = delete;

    bool StartActive() const
    {
        long flags = 0;
        return selection != nullptr && selection->GetFlags(&flags) == S_OK &&
               (flags & tomSelStartActive) != 0;
    }
    void MakeStartActive() const
    {
        long flags = 0;
        if (selection != nullptr && selection->GetFlags(&flags) == S_OK) {
            selection->SetFlags(flags | tomSelStartActive);
        }
    }

private:
    ITextSelection* selection = nullptr;
};

// Enough for a scroll that moves twice or half as far as asked to settle.
constexpr int kMostScrolls = 6;

LONG Shifted(LONG character, size_t removed)
{
    const auto gone = static_cast<LONG>(removed);
    return character > gone ? character - gone : 0;
}

// Where `character` is drawn, in pixels from the top of the view.
LONG TopOf(HWND view, LONG character)
{
    POINTL at = {};
    SendMessageW(view, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), character);
    return at.y;
}

// Scrolls so that `line` is the first shown. A control's line scroll need not
// move by its rows: Wine's moves by the height of its default format's font
// (24 pixels before it has laid out text in that format, and unzoomed). So
// where one scroll left the line tells how far a scroll moves, and the rest
// is asked for in those steps.
void ScrollToLine(HWND view, LRESULT line)
{
    const LRESULT shown = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (shown == line) {
        return;
    }
    const auto start = static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, line, 0));
    const LONG before = TopOf(view, start);
    SendMessageW(view, EM_LINESCROLL, 0, line - shown);
    LONG top = TopOf(view, start);
    const LONG step = (before - top) / static_cast<LONG>(line - shown);
    for (int turn = 0; turn < kMostScrolls && step > 0; ++turn) {
        if (SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0) == line) {
            return;
        }
        // Down as far as whole steps keep the line at or below the top.
        LONG steps = top >= 0 ? top / step : -((-top + step - 1) / step);
        if (steps == 0) {
            steps = top > 0 ? 1 : -1;
        }
        SendMessageW(view, EM_LINESCROLL, 0, steps);
        const LONG now = TopOf(view, start);
        if (now == top) {
            return;  // at an end: the line cannot come higher
        }
        top = now;
    }
}

}  // namespace

LogReaderPlace ReadReaderPlace(HWND view, size_t units)
{
    LogReaderPlace place{};
    const LRESULT line = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    place.top = static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
    SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&place.selection));
    const bool empty = place.selection.cpMin == place.selection.cpMax;
    place.atEnd = empty && place.selection.cpMin >= static_cast<LONG>(units);
    place.startActive = !empty && CTextSelection(view).StartActive();
    return place;
}

void RestoreReaderPlace(HWND view, const LogReaderPlace& place, size_t removed, bool followEnd)
{
    // First: setting the selection scrolls it into view.
    if (place.atEnd) {
        SendMessageW(view, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    } else {
        CHARRANGE selection = {Shifted(place.selection.cpMin, removed),
                               Shifted(place.selection.cpMax, removed)};
        SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        if (place.startActive && selection.cpMin != selection.cpMax) {
            CTextSelection(view).MakeStartActive();
        }
    }
    if (followEnd) {
        SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);
        if (place.atEnd) {
            SendMessageW(view, EM_SCROLLCARET, 0, 0);
        }
        return;
    }
    ScrollToLine(view, SendMessageW(view, EM_EXLINEFROMCHAR, 0, Shifted(place.top, removed)));
}
