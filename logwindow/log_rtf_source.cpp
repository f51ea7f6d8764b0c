// A text as the rich text that the log view takes in one insertion, in parts that stay apart.
#include "logwindow/log_rtf_source.h"

#include "logwindow/log_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// A part ends after a space or line break in its second half, else at its
// longest.
static constexpr size_t kShortestWordPart = CLogRtfSource::kPartUnits / 2;

static bool EndsWord(wchar_t unit)
{
    return unit == L' ' || unit == L'\t' || unit == kLogLineBreak;
}

// A unit that belongs to the one before it: a part starting with it would
// draw it apart from its base.
static bool ExtendsPrevious(wchar_t unit)
{
    if ((unit >= 0xDC00 && unit <= 0xDFFF) || unit == 0x200C || unit == 0x200D ||
        (unit >= 0xFE00 && unit <= 0xFE0F)) {
        return true;
    }
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE3, &unit, 1, &type) && (type & (C3_NONSPACING | C3_DIACRITIC));
}

static size_t PartEnd(const wchar_t* text, size_t units, size_t start)
{
    const size_t longest = std::min(units, start + CLogRtfSource::kPartUnits);
    if (longest == units) {
        return units;
    }
    for (size_t end = longest; end >= start + kShortestWordPart; --end) {
        if (EndsWord(text[end - 1])) {
            return end;
        }
    }
    for (size_t end = longest; end > start; --end) {
        if (!ExtendsPrevious(text[end])) {
            return end;
        }
    }
    return longest;  // nothing but marks: they must go somewhere
}

CLogRtfSource::CLogRtfSource(const wchar_t* source, size_t count, const char* faceName,
                             int characterSet, int firstFont)
    : text(source), units(count), at(0), partEnd(0), font(firstFont & 1), stage(Stage::Header),
      face(faceName), charSet(characterSet), pending{}, pendingLength(0), pendingAt(0)
{
}

DWORD CALLBACK CLogRtfSource::Read(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read)
{
    *read = reinterpret_cast<CLogRtfSource*>(cookie)->Fill(reinterpret_cast<char*>(buffer), size);
    return 0;
}

LONG CLogRtfSource::Fill(char* buffer, LONG size)
{
    LONG filled = 0;
    while (filled < size) {
        if (pendingAt == pendingLength) {
            if (stage == Stage::Done) {
                break;
            }
            Produce();
            continue;
        }
        const size_t room = static_cast<size_t>(size - filled);
        const size_t taken = std::min(pendingLength - pendingAt, room);
        memcpy(buffer + filled, pending + pendingAt, taken);
        pendingAt += taken;
        filled += static_cast<LONG>(taken);
    }
    return filled;
}

void CLogRtfSource::Put(const char* bytes)
{
    pendingLength = strlen(bytes);
    memcpy(pending, bytes, pendingLength);
    pendingAt = 0;
}

// The next piece of the stream: the header, a part's start, one unit, a
// part's end, the footer.
void CLogRtfSource::Produce()
{
    char piece[sizeof pending];
    switch (stage) {
    case Stage::Header:
        // \uc0: no stand-in follows an escaped unit. The two names differ
        // in the family hint only, which no font with this face uses.
        snprintf(piece, sizeof piece,
                 "{\\rtf1\\ansi\\uc0{\\fonttbl{\\f0\\fnil\\fcharset%d %s;}"
                 "{\\f1\\fswiss\\fcharset%d %s;}}",
                 charSet, face, charSet, face);
        stage = at < units ? Stage::PartStart : Stage::Footer;
        break;
    case Stage::PartStart:
        partEnd = PartEnd(text, units, at);
        snprintf(piece, sizeof piece, "{\\f%d ", font);
        font ^= 1;
        stage = Stage::Units;
        break;
    case Stage::Units: {
        const wchar_t unit = text[at++];
        if (unit >= 0x20 && unit < 0x7F && unit != L'\\' && unit != L'{' && unit != L'}') {
            piece[0] = static_cast<char>(unit);  // most of a log: no formatting needed
            piece[1] = '\0';
        } else if (unit == L'\\' || unit == L'{' || unit == L'}') {
            snprintf(piece, sizeof piece, "\\%c", static_cast<char>(unit));
        } else if (unit == kLogLineBreak) {
            snprintf(piece, sizeof piece, "\\par ");
        } else if (unit == L'\t') {
            snprintf(piece, sizeof piece, "\\tab ");
        } else {
            // Signed, as rich text writes a unit; the space ends the number.
            snprintf(piece, sizeof piece, "\\u%d ", static_cast<int>(static_cast<short>(unit)));
        }
        if (at == partEnd) {
            strcat(piece, "}");
            stage = at < units ? Stage::PartStart : Stage::Footer;
        }
        break;
    }
    case Stage::Footer:
        snprintf(piece, sizeof piece, "}");
        stage = Stage::Done;
        break;
    case Stage::Done:
        piece[0] = '\0';
        break;
    }
    Put(piece);
}
