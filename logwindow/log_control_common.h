// What both log controls need from the rich edit: making one, streaming text in, counting and reading it back.
#pragma once

#include "logwindow/log_text.h"

#include <windows.h>

#include <cstddef>

// Destroys `control` if it still exists, and forgets it.
void DestroyControl(HWND& control);

// A rich edit for the view, child IDC_LOG of `parent` at `bounds`, with
// everything it needs before its first text: `textMode` (TM_PLAINTEXT or
// TM_RICHTEXT), no undo, a limit far above the trim threshold, lines wrapped
// at its own width, its selection shown without the focus, its name for
// screen readers, and a watch on the mouse and its keys. Null when it could
// not be made.
HWND MakeLogRichEdit(HWND parent, HINSTANCE instance, const RECT& bounds, bool shown,
                     WPARAM textMode);

// Streams `size` bytes of `data` in `format` (EM_STREAMIN's) over the
// control's selection; true when the control read every byte without error.
bool StreamIntoSelection(HWND control, WPARAM format, const void* data, size_t size);

// Deletes the first `count` characters, without keeping them for undoing.
void DeleteFront(HWND control, size_t count);

// How many characters the control holds, a line break as one.
size_t ControlUnits(HWND control);

// The control's text as positions count it, into `into`; false when memory
// is short.
bool ReadControlText(HWND control, CLogText& into);

// Holds off the control's painting for one step and paints it once after,
// before the step ends, so that the step's time counts what painting cost.
class CPaintPause {
public:
    explicit CPaintPause(HWND paused);
    ~CPaintPause();
    CPaintPause(const CPaintPause&) = delete;
    CPaintPause& operator=(const CPaintPause&) = delete;

private:
    HWND control;
};
