// The log view's control as Windows runs it: one control for the window's life, text streamed in at its end, trimmed in place.
//
// Windows' control edits a long paragraph cheaply, so one control serves the
// window's whole life and a trim deletes in place. Text goes in as a plain
// Unicode stream, which is never read as rich text whatever a datagram
// holds, over an insertion point at the end (a plain-text control may take
// a stream as the whole new text, so the control is left in its default
// rich-text mode). Every character takes the one format that the font gives.
#include "logwindow/windows_log_control.h"

#include "logwindow/log_control_common.h"
#include "logwindow/log_reader_place.h"

#include <richedit.h>

namespace {

constexpr RECT kUnplaced = {};

// Inserts `units` of `text` at the control's end in one go.
void Append(HWND control, const wchar_t* text, size_t units)
{
    if (units == 0) {
        return;
    }
    SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    StreamIntoSelection(control, SF_TEXT | SF_UNICODE, text, units * sizeof(wchar_t));
}

}  // namespace

CWindowsLogControl::~CWindowsLogControl()
{
    Destroy();
}

bool CWindowsLogControl::Create(HWND parent, HINSTANCE instance)
{
    control = MakeLogRichEdit(parent, instance, kUnplaced, true, TM_RICHTEXT);
    if (control != nullptr && font != nullptr) {
        SetFont(font, CLogText());
    }
    return control != nullptr;
}

void CWindowsLogControl::Destroy()
{
    DestroyControl(control);
}

// The font becomes the default format, and the format of all text already
// shown, so that old and new text look alike after a change of dpi.
void CWindowsLogControl::SetFont(HFONT viewFont, const CLogText& shown)
{
    font = viewFont;
    // No redraw: the control is moved or painted next.
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (shown.Units() == 0) {
        return;
    }
    CHARFORMAT2W format = {};
    format.cbSize = sizeof format;
    SendMessageW(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    SendMessageW(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
}

void CWindowsLogControl::Show(const CLogText& shown, size_t removed, const wchar_t* added,
                              size_t units, bool followEnd)
{
    const LogReaderPlace place = ReadReaderPlace(control, shown.Units());
    CPaintPause pause(control);
    if (removed > 0) {
        DeleteFront(control, removed);
    }
    Append(control, added, units);
    RestoreReaderPlace(control, place, removed, followEnd);
}

void CWindowsLogControl::Refill(const CLogText& shown, bool followEnd)
{
    const LogReaderPlace place = ReadReaderPlace(control, ControlUnits(control));
    CPaintPause pause(control);
    SetWindowTextW(control, nullptr);
    Append(control, shown.Text(), shown.Units());
    RestoreReaderPlace(control, place, 0, followEnd);
}

void CWindowsLogControl::Clear()
{
    SetWindowTextW(control, nullptr);
}
