// Conversions between UTF-8, UTF-16 and the ANSI code page.
#pragma once

#include <cstddef>

// Decodes the sequence at *cursor into one code point and moves the cursor past
// it. An ill-formed sequence gives U+FFFD for each of its subparts, as the
// platform's converter does; the terminating zero gives 0 and, like every
// other byte, moves the cursor past itself.
char32_t DecodeUtf8Unit(const char** cursor);

// The two passes of Utf8ToUtf16, for callers that join several texts into
// one buffer: how many UTF-16 units `text` (up to its first zero byte)
// becomes, and the decoding itself, written at `out` without a terminator;
// returns the end of what was written.
size_t Utf16UnitsOfUtf8(const char* text);
wchar_t* DecodeUtf8Into(const char* text, wchar_t* out);

// Each gives a new zero-terminated string that the caller frees with free, or
// null for a null or empty input or a failed conversion or allocation.
wchar_t* Utf8ToUtf16(const char* text);
char* Utf16ToUtf8(const wchar_t* text);
char* Utf16ToAnsi(const wchar_t* text);
