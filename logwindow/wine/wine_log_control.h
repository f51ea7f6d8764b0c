// The log view's control as Wine runs it: parts that never join, a new control where Wine's is slow, and no lost memory.
#pragma once

#include "logwindow/joined_text.h"
#include "logwindow/log_control.h"
#include "logwindow/log_reader_place.h"
#include "logwindow/wine/log_rtf.h"

#include <cstddef>

// A paragraph longer than this is long: deleting from it, or joining it to
// what is deleted before it, costs Wine's control a new layout of all of it.
inline constexpr size_t kLogLongParagraph = 4096;

// Whether deleting the first `removed` characters of `shown` touches a long
// paragraph: one of those deleted, or the one that holds the new start.
bool TrimTouchesLongParagraph(const CLogText& shown, size_t removed);

class CWineLogControl : public CLogControl {
public:
    CWineLogControl() = default;
    ~CWineLogControl() override;
    CWineLogControl(const CWineLogControl&) = delete;
    CWineLogControl& operator=(const CWineLogControl&) = delete;

    bool Create(HWND parent, HINSTANCE instance) override;
    void Destroy() override;
    HWND Handle() const override { return control; }
    void SetFont(HFONT font, const CLogText& shown) override;
    void Show(const CLogText& shown, size_t removed, const wchar_t* added, size_t units,
              bool followEnd) override;
    void Refill(const CLogText& shown, bool followEnd) override;
    void Clear() override;

private:
    void UseFont(HWND view) const;
    HWND MakeControl(const RECT& bounds, bool shown) const;
    bool Insert(HWND view, const CJoinedText& text);
    void Replace(const CJoinedText& text, const LogReaderPlace& place, size_t removed,
                 bool followEnd);

    HWND parent = nullptr;
    HINSTANCE instance = nullptr;
    HWND control = nullptr;
    // The window's font, and the copy made safe from Wine's shaper (owned;
    // null when the font needed none).
    HFONT viewFont = nullptr;
    HFONT safeFont = nullptr;
    // The font's names in the rich text, and which of the two the next part
    // takes.
    LogRtfFont rtfFont = {};
    int nextFont = 0;
};
