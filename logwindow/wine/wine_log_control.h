// The log view's control as Wine runs it: parts that never join, and a new control where Wine's is slow or keeps memory.
#pragma once

#include "logwindow/joined_text.h"
#include "logwindow/log_control.h"
#include "logwindow/log_reader_place.h"
#include "logwindow/wine/log_rtf.h"

#include <cstddef>

// A paragraph longer than this is long: deleting from it, or joining it to
// what is deleted before it, costs Wine's control a new layout of all of it.
inline constexpr size_t kLogLongParagraph = 4096;

// Wine's control keeps some of its heap for every line streamed into it
// until it is destroyed: a control takes in no more than this many lines,
// or characters, after its first fill before a new one takes over.
inline constexpr size_t kWineMostLinesPerControl = 20000;
inline constexpr size_t kWineMostUnitsPerControl = 4000000;

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
    bool Insert(HWND view, const CJoinedText& text);
    bool TakesIn(const wchar_t* added, size_t units) const;
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
    // What the control took in since its first fill.
    size_t linesTaken = 0;
    size_t unitsTaken = 0;
};
