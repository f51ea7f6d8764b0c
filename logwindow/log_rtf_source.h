// A text as the rich text that the log view takes in one insertion, in parts that stay apart.
#pragma once

#include <windows.h>

#include <cstddef>

// The view's font is named twice in the stream, under two pitch-and-family
// hints that change nothing on screen, and the text's parts take the two
// names in turn. Runs of different fonts never join, so no run is longer
// than a part: Wine's rich edit shapes the rest of a run again at every
// row it wraps, which costs the square of the run's length. Every
// character is written as text or escaped, so nothing in it is ever read as
// rich text, and a line break (one kLogLineBreak) becomes a paragraph.
class CLogRtfSource {
public:
    // The longest part; shorter where a space or line break ends a word.
    static constexpr size_t kPartUnits = 256;

    // `face` is the view's face name in ASCII, `charSet` its character set;
    // `firstFont` (0 or 1) is the name the first part takes.
    CLogRtfSource(const wchar_t* text, size_t units, const char* face, int charSet,
                  int firstFont);
    CLogRtfSource(const CLogRtfSource&) = delete;
    CLogRtfSource& operator=(const CLogRtfSource&) = delete;

    // The EDITSTREAM callback; the cookie is a CLogRtfSource.
    static DWORD CALLBACK Read(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read);
    // Up to `size` bytes of the stream; 0 once it has all been read.
    LONG Fill(char* buffer, LONG size);
    // The name that a part after this text should take, so it stays apart.
    int NextFont() const { return font; }

private:
    void Produce();
    void Put(const char* bytes);

    const wchar_t* text;
    size_t units;
    size_t at;       // the next unit to write
    size_t partEnd;  // where the part being written ends
    int font;
    enum class Stage { Header, PartStart, Units, Footer, Done } stage;
    const char* face;
    int charSet;
    // What the last step produced and the reader has not yet taken.
    char pending[160];
    size_t pendingLength;
    size_t pendingAt;
};
