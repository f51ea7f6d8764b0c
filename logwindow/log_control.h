// The control that shows the log view's text: one interface, a control per platform, and the one place that picks.
#pragma once

#include "logwindow/log_text.h"

#include <windows.h>

#include <cstddef>

// Everything here runs on the window thread. The view keeps a copy of what
// the control holds (a line break as one unit, as the control counts it),
// and tells the control each step against that copy.
class CLogControl {
public:
    virtual ~CLogControl() = default;

    // Makes the control, child IDC_LOG of `parent`, 0 by 0 until placed.
    // False when it could not be made.
    virtual bool Create(HWND parent, HINSTANCE instance) = 0;
    virtual void Destroy() = 0;
    // The control's window; it may change from one step to the next.
    virtual HWND Handle() const = 0;
    // Shows the text in `font`, which the window made and keeps; `shown` is
    // what the control holds.
    virtual void SetFont(HFONT font, const CLogText& shown) = 0;
    // One step: the first `removed` characters of `shown` go, `units` of
    // `added` come at the end, and the reader keeps their place (or, when
    // `followEnd`, sees the end).
    virtual void Show(const CLogText& shown, size_t removed, const wchar_t* added, size_t units,
                      bool followEnd) = 0;
    // The control holds other text than `shown` (a stream failed, or memory
    // was short inside it): it is given `shown` afresh.
    virtual void Refill(const CLogText& shown, bool followEnd) = 0;
    virtual void Clear() = 0;
};

// Windows' control edits a long paragraph cheaply: one control for the
// window's life, trimmed in place. Wine's lays a paragraph out afresh at
// every change and deletes from it slowly, and keeps memory for every line
// until it is destroyed: its text goes in as parts that never join, and a
// new control takes over at some trims.
enum class LogControlKind { Windows, Wine };

// The kind for this platform, unless a test chose one.
LogControlKind DefaultLogControlKind();
// The seam: views made later take `kind`, on either platform, with all that
// differs between the two (the font included).
void ChooseLogControlKind(LogControlKind kind);
// A new control of `kind`, not yet made (Create); the caller deletes it.
CLogControl* MakeLogControl(LogControlKind kind);
