// A growable UTF-16 text with every line break as one unit, as the log view counts characters.
#pragma once

#include <cstddef>

// What the log view holds, and what waits for it. Every line break is one
// kLogLineBreak, as the view counts it, so a unit here is a character there.
inline constexpr wchar_t kLogLineBreak = L'\r';

class CLogText {
public:
    CLogText();
    ~CLogText();
    CLogText(const CLogText&) = delete;
    CLogText& operator=(const CLogText&) = delete;

    // Adds `units` of `text` as they are. False when memory is short; the
    // text is then unchanged.
    bool Append(const wchar_t* text, size_t units);
    // Adds `units` of `text` with each CR LF, lone CR and lone LF made one
    // kLogLineBreak, as the view stores them; a zero unit, which no view
    // can show, is left out. False when memory is short (nothing added).
    bool AppendWithLineBreaks(const wchar_t* text, size_t units);
    // Drops the first `count` units (all of them, if there are fewer).
    void RemoveFront(size_t count);
    // Makes room for `count` units in all, so that appends up to that many
    // cannot fail. False when memory is short.
    bool Reserve(size_t count);
    // How many units fit without asking for memory.
    size_t Room() const { return capacity > 0 ? capacity - 1 : 0; }
    void Clear() { units = 0; }
    void SwapWith(CLogText& other);

    // Zero-terminated; empty, never null.
    const wchar_t* Text() const { return units == 0 ? L"" : text; }
    size_t Units() const { return units; }

private:
    wchar_t* text;
    size_t units;
    size_t capacity;  // units, the terminator included
};
