// Text as the rich text that the Wine control streams into its control.
#include "logwindow/wine/log_rtf.h"

#include "logwindow/log_text.h"
#include "logwindow/wine/log_text_parts.h"

#include <cstdio>
#include <cstring>

namespace {

// Counts the bytes first, then writes them into a buffer of that size.
class CRtfWriter {
public:
    explicit CRtfWriter(char* target) : out(target) {}

    void Put(const char* bytes) { Append(bytes, strlen(bytes)); }
    void Put(char byte) { Append(&byte, 1); }
    size_t Size() const { return size; }

private:
    void Append(const char* bytes, size_t length)
    {
        if (out != nullptr) {
            memcpy(out + size, bytes, length);
        }
        size += length;
    }

    char* out;
    size_t size = 0;
};

void PutUnit(CRtfWriter& rtf, wchar_t unit)
{
    if (unit == L'\\' || unit == L'{' || unit == L'}') {
        rtf.Put('\\');
        rtf.Put(static_cast<char>(unit));
    } else if (unit >= 0x20 && unit < 0x7F) {
        rtf.Put(static_cast<char>(unit));  // most of a log: as it is
    } else if (unit == kLogLineBreak) {
        rtf.Put("\\par ");
    } else if (unit == L'\t') {
        rtf.Put("\\tab ");
    } else {
        // Signed, as rich text writes a unit; the space ends the number.
        char escaped[16];
        snprintf(escaped, sizeof escaped, "\\u%d ", static_cast<int>(static_cast<short>(unit)));
        rtf.Put(escaped);
    }
}

// \uc0: no stand-in character follows an escaped unit.
void Write(CRtfWriter& rtf, const CJoinedText& text, const LogRtfFont& font, int* next)
{
    char header[160];
    snprintf(header, sizeof header,
             "{\\rtf1\\ansi\\uc0{\\fonttbl{\\f0\\fnil\\fcharset%d %s;}"
             "{\\f1\\fswiss\\fcharset%d %s;}}",
             font.charSet, font.face, font.charSet, font.face);
    rtf.Put(header);
    for (size_t at = 0; at < text.Units();) {
        const size_t end = PartEnd(text, at);
        rtf.Put(*next == 0 ? "{\\f0 " : "{\\f1 ");
        *next ^= 1;
        for (; at < end; ++at) {
            PutUnit(rtf, text[at]);
        }
        rtf.Put('}');
    }
    rtf.Put('}');
}

}  // namespace

LogRtfBytes BuildLogRtf(const CJoinedText& text, const LogRtfFont& font, int* next, size_t* size)
{
    *size = 0;
    int counted = *next & 1;
    CRtfWriter counter(nullptr);
    Write(counter, text, font, &counted);
    LogRtfBytes bytes(static_cast<char*>(malloc(counter.Size() + 1)));
    if (bytes == nullptr) {
        return bytes;
    }
    *next &= 1;
    CRtfWriter writer(bytes.get());
    Write(writer, text, font, next);
    bytes.get()[writer.Size()] = '\0';
    *size = writer.Size();
    return bytes;
}
