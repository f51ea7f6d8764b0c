#include "logwindow/wine/log_rtf.h"

#include "logwindow/wine/log_text_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const LogRtfFont kFont = {"Tahoma", 1};
const std::string kHeader =
    "{\\rtf1\\ansi\\uc0{\\fonttbl{\\f0\\fnil\\fcharset1 Tahoma;}{\\f1\\fswiss\\fcharset1 Tahoma;}}";

std::string Rtf(const std::wstring& text, int* next)
{
    size_t size = 0;
    const LogRtfBytes bytes = BuildLogRtf(CJoinedText(text.data(), text.size()), kFont, next, &size);
    return bytes != nullptr ? std::string(bytes.get(), size) : std::string("(none)");
}

// Nothing a datagram holds is read as rich text: every character is plain
// ASCII, or escaped; a unit outside ASCII is written signed, as rich text
// reads it, and a surrogate pair as its two units.
TEST(LogRtfTest, EveryCharacterIsTextOrEscaped)
{
    int next = 0;
    EXPECT_EQ(Rtf(L"{\\rtf1 \\b x}\r\t\u00E9\xD83D\xDE00\x01", &next),
              kHeader +
                  "{\\f0 \\{\\\\rtf1 \\\\b x\\}\\par \\tab \\u233 \\u-10179 \\u-8704 \\u1 }}");
    EXPECT_EQ(next, 1);
}

// Parts take the two names in turn, and a later stream goes on where the
// last one ended, so neighbouring parts never join into one run.
TEST(LogRtfTest, PartsAlternateTheirFontAcrossStreams)
{
    int next = 1;
    const std::string two = Rtf(std::wstring(kLogPartUnits + 1, L'w'), &next);
    EXPECT_EQ(two, kHeader + "{\\f1 " + std::string(kLogPartUnits, 'w') + "}{\\f0 w}}");
    EXPECT_EQ(next, 1);
    EXPECT_EQ(Rtf(L"z", &next), kHeader + "{\\f1 z}}");
}

}  // namespace
