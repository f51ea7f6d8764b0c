// Text drawn as one, which no cut of the log view's text may split.
#pragma once

#include <string>

namespace testsupport {

struct ClusterCase {
    const char* name;
    std::wstring cluster;  // drawn as one: no cut may fall inside it
};

inline const ClusterCase kClusters[] = {
    {"a surrogate pair", L"\xD83D\xDE00"},
    {"an emoji family joined by ZWJ", L"\xD83D\xDC68\x200D\xD83D\xDC69\x200D\xD83D\xDC67"},
    {"a flag", L"\xD83C\xDDEB\xD83C\xDDF7"},
    {"a skin tone", L"\xD83D\xDC4D\xD83C\xDFFD"},
    {"a variation selector", L"\x2764\xFE0F"},
    {"a Devanagari conjunct after its virama", L"\x0915\x094D\x0937"},
    {"Arabic letters that join", L"\x0633\x0644\x0627\x0645"},
    {"marks on their base", L"e\x0301\x0323"},
    {"a mark after a space", L" \x0301"},
    {"Hangul jamo", L"\x1100\x1161\x11A8"},
};

}  // namespace testsupport
