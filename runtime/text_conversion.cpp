// Conversions between UTF-8, UTF-16 and the ANSI code page.
#include "runtime/text_conversion.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

static_assert(sizeof(wchar_t) == 2, "UTF-16 text is held in wchar_t");

static constexpr char32_t kReplacement = 0xFFFD;
static constexpr char32_t kFirstSupplementary = 0x10000;
static constexpr char16_t kFirstHighSurrogate = 0xD800;
static constexpr char16_t kFirstLowSurrogate = 0xDC00;
static constexpr char16_t kLastSurrogate = 0xDFFF;

// Well-formed sequences after the Unicode standard's table: the lead byte
// fixes the length and the range of the second byte, which is what rules out
// overlong forms, encoded surrogates and code points above U+10FFFF. Every
// later byte is 80 to BF. An ill-formed sequence gives one U+FFFD per maximal
// subpart, with one refinement that the platform's own converter
// (MultiByteToWideChar) makes: a second byte that is a continuation byte but
// outside the narrower range of E0, ED, F0 or F4 belongs to the lead's
// subpart, so ED A0 80 gives two U+FFFD, not three. Matching the platform
// keeps our text identical to what any other program on the system shows.
// The zero byte lies in no range, so a sequence cut short by the terminator
// stops before it and nothing past it is read.
char32_t DecodeUtf8Unit(const char** cursor)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(*cursor);
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        // The terminating zero too: every unit moves past the bytes it used.
        *cursor += 1;
        return lead;
    }

    int continuations = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        codePoint = static_cast<char32_t>(lead & 0x1F);
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        codePoint = static_cast<char32_t>(lead & 0x0F);
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        codePoint = static_cast<char32_t>(lead & 0x07);
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        // 80 to C1 and F5 to FF never start a sequence.
        *cursor += 1;
        return kReplacement;
    }

    for (int used = 1; used <= continuations; ++used) {
        const unsigned char next = bytes[used];
        if (next < low || next > high) {
            const bool continuationOutOfRange = used == 1 && next >= 0x80 && next <= 0xBF;
            // One U+FFFD for the subpart; the byte after it starts the next one.
            *cursor += continuationOutOfRange ? 2 : used;
            return kReplacement;
        }
        codePoint = (codePoint << 6) | static_cast<char32_t>(next & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *cursor += continuations + 1;
    return codePoint;
}

// Reads one code point from UTF-16; a lone surrogate gives U+FFFD, and the
// terminating zero gives 0 and leaves the cursor where it is.
static char32_t DecodeUtf16(const wchar_t** cursor)
{
    const char16_t unit = static_cast<char16_t>(**cursor);
    if (unit < kFirstHighSurrogate || unit > kLastSurrogate) {
        if (unit != 0) {
            *cursor += 1;
        }
        return unit;
    }
    *cursor += 1;
    if (unit >= kFirstLowSurrogate) {
        return kReplacement;
    }
    const char16_t next = static_cast<char16_t>(**cursor);
    if (next < kFirstLowSurrogate || next > kLastSurrogate) {
        return kReplacement;  // `next` is left for the following call
    }
    *cursor += 1;
    return kFirstSupplementary + ((static_cast<char32_t>(unit - kFirstHighSurrogate) << 10) |
                                  static_cast<char32_t>(next - kFirstLowSurrogate));
}

static size_t Utf8Length(char32_t codePoint)
{
    if (codePoint < 0x80) {
        return 1;
    }
    if (codePoint < 0x800) {
        return 2;
    }
    return codePoint < kFirstSupplementary ? 3 : 4;
}

static char* EncodeUtf8(char32_t codePoint, char* out)
{
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    switch (Utf8Length(codePoint)) {
    case 1:
        bytes[0] = static_cast<unsigned char>(codePoint);
        return out + 1;
    case 2:
        bytes[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return out + 2;
    case 3:
        bytes[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return out + 3;
    default:
        bytes[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return out + 4;
    }
}

// Most datagrams are plain ASCII: those bytes skip the decoder in both passes.
static bool IsAsciiCharacter(char byte)
{
    return static_cast<unsigned char>(byte) - 1u < 0x7Fu;
}

size_t Utf16UnitsOfUtf8(const char* text)
{
    size_t units = 0;
    if (text == nullptr) {
        return units;
    }
    for (const char* cursor = text;;) {
        if (IsAsciiCharacter(*cursor)) {
            ++cursor;
            ++units;
            continue;
        }
        const char32_t codePoint = DecodeUtf8Unit(&cursor);
        if (codePoint == 0) {
            break;
        }
        units += codePoint < kFirstSupplementary ? 1 : 2;
    }
    return units;
}

wchar_t* DecodeUtf8Into(const char* text, wchar_t* out)
{
    if (text == nullptr) {
        return out;
    }
    for (const char* cursor = text;;) {
        if (IsAsciiCharacter(*cursor)) {
            *out++ = static_cast<wchar_t>(*cursor++);
            continue;
        }
        const char32_t codePoint = DecodeUtf8Unit(&cursor);
        if (codePoint == 0) {
            break;
        }
        if (codePoint < kFirstSupplementary) {
            *out++ = static_cast<wchar_t>(codePoint);
        } else {
            const char32_t offset = codePoint - kFirstSupplementary;
            *out++ = static_cast<wchar_t>(kFirstHighSurrogate + (offset >> 10));
            *out++ = static_cast<wchar_t>(kFirstLowSurrogate + (offset & 0x3FF));
        }
    }
    return out;
}

wchar_t* Utf8ToUtf16(const char* text)
{
    if (text == nullptr || text[0] == '\0') {
        return nullptr;
    }
    const size_t units = Utf16UnitsOfUtf8(text);
    auto* result = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
    if (result == nullptr) {
        return nullptr;
    }
    *DecodeUtf8Into(text, result) = L'\0';
    return result;
}

char* Utf16ToUtf8(const wchar_t* text)
{
    if (text == nullptr || text[0] == L'\0') {
        return nullptr;
    }

    size_t bytes = 0;
    for (const wchar_t* cursor = text;;) {
        const char32_t codePoint = DecodeUtf16(&cursor);
        if (codePoint == 0) {
            break;
        }
        bytes += Utf8Length(codePoint);
    }

    auto* result = static_cast<char*>(malloc(bytes + 1));
    if (result == nullptr) {
        return nullptr;
    }
    char* out = result;
    for (const wchar_t* cursor = text;;) {
        const char32_t codePoint = DecodeUtf16(&cursor);
        if (codePoint == 0) {
            break;
        }
        out = EncodeUtf8(codePoint, out);
    }
    *out = '\0';
    return result;
}

// The platform sizes the result: a double-byte code page may need more than
// one byte per unit.
char* Utf16ToAnsi(const wchar_t* text)
{
    if (text == nullptr || text[0] == L'\0') {
        return nullptr;
    }
    // Length -1 takes the terminator along, so the size includes it.
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return nullptr;
    }
    auto* result = static_cast<char*>(malloc(static_cast<size_t>(size)));
    if (result == nullptr) {
        return nullptr;
    }
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, result, size, nullptr, nullptr) != size) {
        free(result);
        return nullptr;
    }
    return result;
}
