// One step of the log view: the waiting text shown, the oldest text trimmed, the reader's place kept.
#include "logwindow/log_rtf_source.h"
#include "logwindow/log_view_plan.h"
#include "logwindow/windows_system_log.h"

#include <richedit.h>

#include <algorithm>

struct ViewPlace {
    LONG top;  // the first character of the line at the top
    CHARRANGE selection;
};

// Holds off the view's painting for one step and repaints it once after.
// Otherwise each part (trim, insert, scroll) repaints and updates the scroll
// bar on its own: about 17 ms per append at 60,000 characters under Wine,
// against 2-5 ms this way.
class CPaintPause {
public:
    explicit CPaintPause(HWND paused) : view(paused) { SendMessageW(view, WM_SETREDRAW, FALSE, 0); }
    ~CPaintPause()
    {
        SendMessageW(view, WM_SETREDRAW, TRUE, 0);
        // The frame too: the scroll bar changed while painting was off, and
        // Wine leaves it unpainted (the view shows no scroll bar) otherwise.
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
    CPaintPause(const CPaintPause&) = delete;
    CPaintPause& operator=(const CPaintPause&) = delete;

private:
    HWND view;
};

static LONG Position(size_t units)
{
    return static_cast<LONG>(units);
}

static void DeleteFront(HWND view, size_t count)
{
    SendMessageW(view, EM_SETSEL, 0, Position(count));
    // wParam FALSE: the deletion cannot be undone, so no undo copy is kept.
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

// Lines and characters, not pixels: the view's pixel scroll positions are
// 16-bit and overflow in a long view.
static ViewPlace ReadPlace(HWND view)
{
    ViewPlace place{};
    const LRESULT line = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    place.top = static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
    SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&place.selection));
    return place;
}

static LONG Shifted(LONG character, size_t removed)
{
    return character > Position(removed) ? character - Position(removed) : 0;
}

// The reader's selection and top line, moved back by what the step removed
// from the front; a selection the trim took goes to the view's start.
static void KeepPlace(HWND view, const ViewPlace& place, size_t removed)
{
    CHARRANGE selection = {Shifted(place.selection.cpMin, removed),
                           Shifted(place.selection.cpMax, removed)};
    // First: setting the selection scrolls it into view.
    SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const LRESULT wanted = SendMessageW(view, EM_EXLINEFROMCHAR, 0, Shifted(place.top, removed));
    const LRESULT shown = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (wanted != shown) {
        SendMessageW(view, EM_LINESCROLL, 0, wanted - shown);
    }
}

static void ScrollToEnd(HWND view)
{
    SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageW(view, EM_SCROLLCARET, 0, 0);
}

// Inserts `units` of `text` at `at`, the end of `view`, in one go, its parts
// in the view font's two names in turn.
void CWindowsSystemLog::StreamIn(HWND view, size_t at, const wchar_t* text, size_t units)
{
    if (units == 0) {
        return;
    }
    SendMessageW(view, EM_SETSEL, Position(at), Position(at));
    CLogRtfSource source(text, units, viewFace, viewCharSet, nextViewFont);
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, &CLogRtfSource::Read};
    SendMessageW(view, EM_STREAMIN, SF_RTF | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
    nextViewFont = source.NextFont();
}

// A step costs one insertion and at most one trim, or one new view, however
// much text waits, so the view never falls behind.
void CWindowsSystemLog::ShowText(const CLogWaitingText& waiting)
{
    const LogViewStep step = PlanLogViewStep(*viewText, waiting);

    const size_t before = viewText->Units();
    // The part of the waiting text that stays.
    const size_t skipped = step.removed > before ? step.removed - before : 0;
    const wchar_t* shown = waiting.Text() + skipped;
    const size_t shownUnits = waiting.Units() - skipped;
    if (step.fresh) {
        CLogText kept;
        if (!kept.Append(viewText->Text() + std::min(step.removed, before),
                         before - std::min(step.removed, before)) ||
            !kept.Append(shown, shownUnits)) {
            return;  // no memory for what the view would hold: it stays as it was
        }
        viewText->SwapWith(kept);
        ReplaceView(step.removed);
        return;
    }
    // What the view holds is known before the view is touched: without the
    // memory to know it, the view is left as it was.
    if (!viewText->Append(shown, shownUnits)) {
        return;
    }
    const size_t deleted = std::min(step.removed, before);
    viewText->RemoveFront(deleted);
    const ViewPlace place = ReadPlace(logView);
    CPaintPause pause(logView);
    if (deleted > 0) {
        DeleteFront(logView, deleted);
    }
    StreamIn(logView, before - deleted, shown, shownUnits);
    if (autoscroll) {
        ScrollToEnd(logView);
    } else {
        KeepPlace(logView, place, step.removed);
    }
}

// A new view in place of the old one, holding what `viewText` holds: it
// keeps the old one's id, style, font, size, place among the controls and
// focus, and the reader's place, moved back by the `removed` characters that
// went from the front, or it shows the end while autoscroll is on. Filled
// while hidden, so it is never seen half-made; the old view is destroyed
// whole, which costs next to nothing, where deleting its text can cost
// seconds.
void CWindowsSystemLog::ReplaceView(size_t removed)
{
    const ViewPlace place = ReadPlace(logView);
    RECT bounds = {};
    GetWindowRect(logView, &bounds);
    MapWindowPoints(nullptr, window.load(), reinterpret_cast<POINT*>(&bounds), 2);
    const HWND fresh = CreateLogView(window.load(), instance, bounds, false);
    if (fresh == nullptr) {
        // Slow, but what the view shows stays right.
        SetWindowTextW(logView, nullptr);
        nextViewFont = 0;
        StreamIn(logView, 0, viewText->Text(), viewText->Units());
        return;
    }
    SetLogViewFont(fresh, font);
    nextViewFont = 0;
    StreamIn(fresh, 0, viewText->Text(), viewText->Units());
    if (autoscroll) {
        ScrollToEnd(fresh);
    } else {
        KeepPlace(fresh, place, removed);
    }
    const bool focused = GetFocus() == logView;
    // Just after the old view among its siblings: the same tab order.
    SetWindowPos(fresh, logView, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (focused) {
        SetFocus(fresh);
    }
    DestroyWindow(logView);
    logView = fresh;

}
