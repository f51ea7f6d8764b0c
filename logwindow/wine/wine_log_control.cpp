// The log view's control as Wine runs it: parts that never join, a new control where Wine's is slow, and no lost memory.
//
// Wine's rich edit lays a changed paragraph out afresh, at a cost that grows
// with the square of its longest run, and deletes from a long paragraph
// slowly (seconds for a view of run-on text). So:
// - the text goes in as rich text, in parts in two font names that never join
//   into one run, which keeps the layout linear;
// - a trim that touches a long paragraph makes a new control, filled with
//   what stays in one insertion, and destroys the old one, which costs next
//   to nothing;
// - Wine's control loses about 280 bytes of the process heap for every line
//   break it deletes while it keeps no undo: joining two paragraphs hands the
//   break to the undo list, which drops it without freeing it when its limit
//   is 0, and destroying the control does not give it back. At 300 lines a
//   second that was 6 MiB a minute. So the control keeps one undo step, and
//   its undo list is emptied after every change: the memory goes back, and
//   nothing that the view shows can be undone.
// A new control keeps the old one's id, style, font, zoom, size, place among
// the controls, focus and watch, and the reader's place.
#include "logwindow/wine/wine_log_control.h"

#include "logwindow/log_control_common.h"
#include "logwindow/wine/wine_view_font.h"

#include <richedit.h>

namespace {

constexpr RECT kUnplaced = {};
// An empty view's place: at its end.
constexpr LogReaderPlace kEndOfEmptyView = {0, {0, 0}, false, true};

// One undo step: see the top of this file.
constexpr WPARAM kUndoSteps = 1;

// Drops what the last change kept for undoing.
void ForgetUndo(HWND view)
{
    SendMessageW(view, EM_EMPTYUNDOBUFFER, 0, 0);
}

// The face as rich text can name it: our faces are ASCII names, anything
// else could not be written as one.
LogRtfFont RtfFontOf(HFONT font)
{
    LogRtfFont named = {};
    LOGFONTW face = {};
    GetObjectW(font, sizeof face, &face);
    size_t length = 0;
    for (const wchar_t* name = face.lfFaceName;
         *name != L'\0' && length + 1 < sizeof named.face; ++name) {
        const bool plain = *name >= 0x20 && *name < 0x7F && wcschr(L"\\{};", *name) == nullptr;
        named.face[length++] = plain ? static_cast<char>(*name) : '_';
    }
    named.face[length] = '\0';
    named.charSet = face.lfCharSet;
    return named;
}

void CopyZoom(HWND from, HWND to)
{
    int numerator = 0;
    int denominator = 0;
    if (SendMessageW(from, EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator),
                     reinterpret_cast<LPARAM>(&denominator)) &&
        numerator > 0 && denominator > 0) {
        SendMessageW(to, EM_SETZOOM, static_cast<WPARAM>(numerator), denominator);
    }
}

}  // namespace

bool TrimTouchesLongParagraph(const CLogText& shown, size_t removed)
{
    const wchar_t* text = shown.Text();
    size_t start = 0;
    for (size_t i = 0; i < shown.Units(); ++i) {
        if (text[i] != kLogLineBreak) {
            continue;
        }
        if (i - start > kLogLongParagraph) {
            return true;
        }
        if (i >= removed) {
            return false;
        }
        start = i + 1;
    }
    return shown.Units() - start > kLogLongParagraph;
}

CWineLogControl::~CWineLogControl()
{
    Destroy();
    if (safeFont != nullptr) {
        DeleteObject(safeFont);
        safeFont = nullptr;
    }
}

HWND CWineLogControl::MakeControl(const RECT& bounds, bool shown) const
{
    const HWND view = MakeLogRichEdit(parent, instance, bounds, shown, TM_RICHTEXT);
    if (view != nullptr) {
        SendMessageW(view, EM_SETUNDOLIMIT, kUndoSteps, 0);
        UseFont(view);
    }
    return view;
}

bool CWineLogControl::Create(HWND owner, HINSTANCE module)
{
    parent = owner;
    instance = module;
    control = MakeControl(kUnplaced, true);
    return control != nullptr;
}

void CWineLogControl::Destroy()
{
    DestroyControl(control);
}

// A control with text is made anew in the new font: setting a font on text
// makes all of it one format, and its parts would join into runs as long as
// the view.
void CWineLogControl::SetFont(HFONT font, const CLogText& shown)
{
    viewFont = font;
    const HFONT safe = CreateWineViewFont(font);
    const HFONT old = safeFont;
    safeFont = safe;
    rtfFont = RtfFontOf(safeFont != nullptr ? safeFont : viewFont);
    if (control != nullptr) {
        if (shown.Units() > 0) {
            Replace(CJoinedText(shown.Text(), shown.Units()),
                    ReadReaderPlace(control, shown.Units()), 0, false);
        } else {
            UseFont(control);
        }
    }
    // Once no control uses it.
    if (old != nullptr) {
        DeleteObject(old);
    }
}

// No redraw: the control is moved or painted next. Wine's control scrolls a
// line at a time by the height of its default format's font, which it takes
// from a laid out run of that format when the font is set, and guesses 24
// pixels otherwise; each part of the text has a format of its own. So a
// character is laid out in the default format, taken away, and the font set
// again: the view then scrolls by its real lines.
void CWineLogControl::UseFont(HWND view) const
{
    const HFONT font = safeFont != nullptr ? safeFont : viewFont;
    if (font == nullptr) {
        return;
    }
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (GetWindowTextLengthW(view) != 0) {
        return;
    }
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"x"));
    SendMessageW(view, EM_SETSEL, 0, -1);
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ForgetUndo(view);
}

// Inserts `text` at the control's own end in one stream.
bool CWineLogControl::Insert(HWND view, const CJoinedText& text)
{
    if (text.Units() == 0) {
        return true;
    }
    SendMessageW(view, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    size_t size = 0;
    const LogRtfBytes rtf = BuildLogRtf(text, rtfFont, &nextFont, &size);
    return rtf != nullptr && StreamIntoSelection(view, SF_RTF, rtf.get(), size);
}

void CWineLogControl::Show(const CLogText& shown, size_t removed, const wchar_t* added,
                           size_t units, bool followEnd)
{
    const LogReaderPlace place = ReadReaderPlace(control, shown.Units());
    if (removed > 0 && TrimTouchesLongParagraph(shown, removed)) {
        Replace(CJoinedText(shown.Text() + removed, shown.Units() - removed, added, units), place,
                removed, followEnd);
        return;
    }
    CPaintPause pause(control);
    if (removed > 0) {
        DeleteFront(control, removed);
    }
    Insert(control, CJoinedText(added, units));
    ForgetUndo(control);
    RestoreReaderPlace(control, place, removed, followEnd);
}

void CWineLogControl::Refill(const CLogText& shown, bool followEnd)
{
    Replace(CJoinedText(shown.Text(), shown.Units()),
            ReadReaderPlace(control, ControlUnits(control)), 0, followEnd);
}

// A new, empty control: emptying a long paragraph can take seconds.
void CWineLogControl::Clear()
{
    Replace(CJoinedText(nullptr, 0), kEndOfEmptyView, 0, false);
}

// A new control in place of the old one, holding `text`: the reader's place
// is moved back by the `removed` characters that went from the front. Filled
// while hidden, so it is never seen half-made.
void CWineLogControl::Replace(const CJoinedText& text, const LogReaderPlace& place,
                              size_t removed, bool followEnd)
{
    RECT bounds = {};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    const HWND fresh = MakeControl(bounds, false);
    nextFont = 0;
    if (fresh == nullptr) {
        // Slow, but what the view shows stays right.
        SetWindowTextW(control, nullptr);
        Insert(control, text);
        ForgetUndo(control);
        RestoreReaderPlace(control, place, removed, followEnd);
        return;
    }
    CopyZoom(control, fresh);
    Insert(fresh, text);
    ForgetUndo(fresh);
    RestoreReaderPlace(fresh, place, removed, followEnd);
    const bool focused = GetFocus() == control;
    // Just after the old control among its siblings: the same tab order.
    SetWindowPos(fresh, control, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (focused) {
        SetFocus(fresh);
    }
    DestroyWindow(control);
    control = fresh;
    // Painted within the step, as an edited control is.
    UpdateWindow(control);
}
