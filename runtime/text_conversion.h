// Conversions between UTF-8, UTF-16 and the ANSI code page.
#pragma once

// Decodes the sequence at *cursor into one code point and moves the cursor past
// it. An ill-formed sequence gives U+FFFD for each of its subparts, as the
// platform's converter does; the terminating zero gives 0 and leaves the
// cursor where it is.
char32_t DecodeUtf8Unit(const char** cursor);

// Each gives a new zero-terminated string that the caller frees with free, or
// null for a null or empty input or a failed conversion or allocation.
wchar_t* Utf8ToUtf16(const char* text);
char* Utf16ToUtf8(const wchar_t* text);
char* Utf16ToAnsi(const wchar_t* text);
