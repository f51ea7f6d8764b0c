#include "runtime/text_conversion.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <type_traits>

namespace {

using WideText = std::unique_ptr<wchar_t, decltype(&free)>;
using NarrowText = std::unique_ptr<char, decltype(&free)>;

struct Utf8Case {
    const char* name;
    std::string utf8;  // may hold bytes after a zero, to show they are never read
    std::wstring utf16;
};

const Utf8Case kUtf8Cases[] = {
    {"ascii", "abc", L"abc"},
    {"two-byte sequence", "\xC3\xA9", L"\u00E9"},
    {"three-byte sequence", "\xE2\x82\xAC", L"\u20AC"},
    {"byte order mark is kept", "\xEF\xBB\xBF" "a", L"\uFEFFa"},
    // Four bytes become a surrogate pair, never a lone BMP unit.
    {"four-byte sequence", "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
    {"code point 10000 between letters", "A\xF0\x90\x80\x80" "B", L"A\xD800\xDC00" L"B"},
    {"highest code point", "\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},
    {"lowest three-byte form", "\xE0\xA0\x80", L"\u0800"},
    {"last code point before surrogates", "\xED\x9F\xBF", L"\uD7FF"},
    // A stray byte must not swallow the rest of the message.
    {"leading continuation byte", "\x80", L"\uFFFD"},
    {"stray continuation byte", "AB\x80" "CD", L"AB\uFFFDCD"},
    {"two stray continuation bytes", "\x80\xBF", L"\uFFFD\uFFFD"},
    // A lead byte followed by a non-continuation byte: U+FFFD, and 'A' survives.
    {"lead byte without continuation", "\xC3\x41", L"\uFFFDA"},
    {"latin-1 sender", "caf\xE9 ok", L"caf\uFFFD ok"},
    // C0 and C1 could only start overlong forms: each byte is its own subpart.
    {"overlong zero", "\xC0\x80", L"\uFFFD\uFFFD"},
    {"overlong slash", "\xC1\xAF", L"\uFFFD\uFFFD"},
    // After E0, ED, F0 and F4 a continuation byte outside the lead's narrower
    // range still joins the lead's subpart, as the platform's converter does.
    {"overlong three-byte form", "\xE0\x80\x80", L"\uFFFD\uFFFD"},
    {"overlong four-byte form", "\xF0\x80\x80\x80", L"\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "-\xED\xA0\x80-", L"-\uFFFD\uFFFD-"},
    {"surrogate pair encoded as two sequences", "\xED\xA0\xBD\xED\xB8\x80",
     L"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD"},
    {"overlong lead before a letter", "\xE0\x41", L"\uFFFDA"},
    {"lead byte F5", "\xF5\x80" "A", L"\uFFFD\uFFFDA"},
    {"lead byte FF", "\xFF" "A", L"\uFFFDA"},
    {"five-byte form", "\xF8\x88\x80\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    // A truncated but so far well-formed sequence is one maximal subpart.
    {"truncated three-byte sequence", "\xE2\x82" "A", L"\uFFFDA"},
    {"truncated four-byte sequence", "\xF0\x9F\x98" "A", L"\uFFFDA"},
    {"truncated sequence before a good one", "\xE1\x80\xC3\xA9", L"\uFFFD\u00E9"},
    {"truncated sequence at the end", "A\xE2\x82", L"A\uFFFD"},
    {"three-byte lead before a final letter", "\xE1" "A", L"\uFFFDA"},
    // The zero byte ends the text even inside a sequence; what follows it is
    // a continuation that must not be read.
    {"lead byte before the terminator", std::string("A\xC3\0\xA9", 4), L"A\uFFFD"},
    {"zero byte ends the text", std::string("ab\0cd", 5), L"ab"},
};

TEST(Utf8ToUtf16Test, FollowsEachDecodingRule)
{
    for (const Utf8Case& row : kUtf8Cases) {
        SCOPED_TRACE(row.name);
        WideText out(Utf8ToUtf16(row.utf8.c_str()), &free);
        ASSERT_NE(out.get(), nullptr);
        EXPECT_EQ(std::wstring(out.get()), row.utf16);
    }
}

TEST(Utf8ToUtf16Test, EmptyOrNullGivesNoResult)
{
    EXPECT_EQ(Utf8ToUtf16(""), nullptr);
    EXPECT_EQ(Utf8ToUtf16(nullptr), nullptr);
}

struct UnitCase {
    const char* name;
    std::string utf8;  // followed by the terminator
    char32_t unit;
    size_t used;  // how far the cursor moves
};

const UnitCase kUnitCases[] = {
    {"letter", "A", U'A', 1},
    {"four-byte sequence", "\xF0\x9F\x98\x80", U'\U0001F600', 4},
    // E2 82 is one subpart; the letter after it starts the next.
    {"truncated sequence before a letter", "\xE2\x82" "A", U'\uFFFD', 2},
    // Cut short by the terminator: the zero is left for the next call.
    {"lead byte before the terminator", "\xC3", U'\uFFFD', 1},
    // 0x00 gives 0 and, like every other byte, is moved past.
    {"the terminator", "", U'\0', 1},
};

TEST(DecodeUtf8UnitTest, MovesPastTheBytesOfEachUnit)
{
    for (const UnitCase& row : kUnitCases) {
        SCOPED_TRACE(row.name);
        const char* cursor = row.utf8.c_str();
        EXPECT_EQ(DecodeUtf8Unit(&cursor), row.unit);
        EXPECT_EQ(static_cast<size_t>(cursor - row.utf8.c_str()), row.used);
    }
}

struct Utf16Case {
    const char* name;
    std::wstring utf16;
    std::string utf8;
};

const Utf16Case kUtf16Cases[] = {
    {"ascii", L"abc", "abc"},
    {"last one-byte unit", L"\u007F", "\x7F"},
    {"first two-byte unit", L"\u0080", "\xC2\x80"},
    {"last two-byte unit", L"\u07FF", "\xDF\xBF"},
    {"first three-byte unit", L"\u0800", "\xE0\xA0\x80"},
    {"euro sign", L"\u20AC", "\xE2\x82\xAC"},
    {"last BMP unit", L"\uFFFF", "\xEF\xBF\xBF"},
    // A pair is one character: one four-byte sequence, not two of three.
    {"surrogate pair", L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
    {"highest pair", L"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    // A lone surrogate has no UTF-8 form; U+FFFD keeps a saved file valid.
    {"lone high surrogate at the end", L"a\xD83D", "a\xEF\xBF\xBD"},
    {"lone high surrogate before a letter", L"\xD83D" L"a", "\xEF\xBF\xBD" "a"},
    {"lone low surrogate", L"\xDE00", "\xEF\xBF\xBD"},
    {"pair in the wrong order", L"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"high surrogate before a pair", L"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
};

TEST(Utf16ToUtf8Test, EncodesEachCharacterOnce)
{
    for (const Utf16Case& row : kUtf16Cases) {
        SCOPED_TRACE(row.name);
        NarrowText out(Utf16ToUtf8(row.utf16.c_str()), &free);
        ASSERT_NE(out.get(), nullptr);
        EXPECT_EQ(std::string(out.get()), row.utf8);
    }
}

TEST(Utf16ToUtf8Test, EmptyOrNullGivesNoResult)
{
    EXPECT_EQ(Utf16ToUtf8(L""), nullptr);
    EXPECT_EQ(Utf16ToUtf8(nullptr), nullptr);
}

TEST(Utf16ToAnsiTest, ConvertsAsciiUnchanged)
{
    NarrowText out(Utf16ToAnsi(L"syslog-2026.log"), &free);
    ASSERT_NE(out.get(), nullptr);
    EXPECT_STREQ(out.get(), "syslog-2026.log");
}

TEST(Utf16ToAnsiTest, CharacterOutsideTheCodePageDoesNotEndTheText)
{
    NarrowText out(Utf16ToAnsi(L"a\u4E2D\xD83D\xDE00" L"b"), &free);
    ASSERT_NE(out.get(), nullptr);
    const std::string ansi(out.get());
    ASSERT_GE(ansi.size(), 3u);
    EXPECT_EQ(ansi.front(), 'a');
    EXPECT_EQ(ansi.back(), 'b');
}

TEST(Utf16ToAnsiTest, EmptyOrNullGivesNoResult)
{
    EXPECT_EQ(Utf16ToAnsi(L""), nullptr);
    EXPECT_EQ(Utf16ToAnsi(nullptr), nullptr);
}

// The platform's own converters are the reference: random inputs, biased
// toward the bytes and units where decoders go wrong, with a fixed seed so a
// failure can be replayed.

constexpr uint32_t kSeed = 20260415;
constexpr int kOracleRounds = 40000;
constexpr int kMaxReportedMismatches = 5;

// The bytes or units of a text in hexadecimal, for failure messages.
template <typename Text>
std::string Hex(const Text& text)
{
    std::string out;
    char digits[8];
    for (auto element : text) {
        using Unsigned = std::make_unsigned_t<typename Text::value_type>;
        snprintf(digits, sizeof digits, "%0*X ", static_cast<int>(2 * sizeof(Unsigned)),
                 static_cast<unsigned>(static_cast<Unsigned>(element)));
        out += digits;
    }
    return out;
}

class RandomText {
public:
    explicit RandomText(uint32_t seed) : engine(seed) {}

    std::string Utf8()
    {
        std::string text;
        const int pieces = Pick(0, 8);
        for (int i = 0; i < pieces; ++i) {
            AppendUtf8Piece(text);
        }
        return text;
    }

    std::wstring Utf16()
    {
        std::wstring text;
        const int pieces = Pick(0, 8);
        for (int i = 0; i < pieces; ++i) {
            AppendUtf16Piece(text);
        }
        return text;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }

    template <typename T, size_t N>
    T PickFrom(const T (&items)[N])
    {
        return items[Pick(0, static_cast<int>(N) - 1)];
    }

    void AppendCodePoint(std::string& text, char32_t codePoint)
    {
        // Encode by hand: the reference must not depend on the code under test.
        if (codePoint < 0x80) {
            text += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            text += static_cast<char>(0xC0 | (codePoint >> 6));
            text += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            text += static_cast<char>(0xE0 | (codePoint >> 12));
            text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (codePoint >> 18));
            text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }

    char32_t InterestingCodePoint()
    {
        static const char32_t kEdges[] = {
            0x01,    0x7F,    0x80,    0x7FF,    0x800,    0xFFF,   0x1000, 0xD7FF,
            0xE000,  0xFEFF,  0xFFFD,  0xFFFF,   0x10000,  0x1F600, 0x3FFFF, 0x40000,
            0xFFFFF, 0x100000, 0x10FFFF,
        };
        if (Pick(0, 1) == 0) {
            return PickFrom(kEdges);
        }
        char32_t codePoint;
        do {
            codePoint = static_cast<char32_t>(Pick(1, 0x10FFFF));
        } while (codePoint >= 0xD800 && codePoint <= 0xDFFF);
        return codePoint;
    }

    void AppendUtf8Piece(std::string& text)
    {
        static const unsigned char kLeads[] = {0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED,
                                               0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF7,
                                               0xF8, 0xFB, 0xFC, 0xFE, 0xFF};
        static const unsigned char kContinuations[] = {0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF};
        switch (Pick(0, 9)) {
        case 0:
            text += static_cast<char>(Pick(0x20, 0x7E));
            break;
        case 1:
            text += static_cast<char>(Pick(0x80, 0xBF));
            break;
        case 2:
            text += static_cast<char>(PickFrom(kContinuations));
            break;
        case 3:
            text += static_cast<char>(PickFrom(kLeads));
            break;
        case 4:
            text += static_cast<char>(Pick(0x80, 0xFF));
            break;
        case 5:
        case 6: {
            AppendCodePoint(text, InterestingCodePoint());
            break;
        }
        case 7: {
            // A well-formed sequence cut short.
            std::string whole;
            AppendCodePoint(whole, InterestingCodePoint());
            text += whole.substr(0, Pick(1, static_cast<int>(whole.size())));
            break;
        }
        case 8: {
            // A lead byte with continuation bytes of any kind, overlong and
            // surrogate forms included.
            text += static_cast<char>(PickFrom(kLeads));
            const int more = Pick(1, 4);
            for (int i = 0; i < more; ++i) {
                text += static_cast<char>(Pick(0, 3) == 0
                                              ? PickFrom(kContinuations)
                                              : Pick(0x80, 0xBF));
            }
            break;
        }
        default:
            text += Pick(0, 3) == 0 ? '\0' : static_cast<char>(Pick(0, 0xFF));
            break;
        }
    }

    void AppendUtf16Piece(std::wstring& text)
    {
        switch (Pick(0, 7)) {
        case 0:
            text += static_cast<wchar_t>(Pick(0x20, 0x7E));
            break;
        case 1:
            text += static_cast<wchar_t>(Pick(0x80, 0x7FF));
            break;
        case 2:
            text += static_cast<wchar_t>(Pick(0x800, 0xFFFF));
            break;
        case 3:
            text += static_cast<wchar_t>(Pick(0xD800, 0xDBFF));
            break;
        case 4:
            text += static_cast<wchar_t>(Pick(0xDC00, 0xDFFF));
            break;
        case 5:
            text += static_cast<wchar_t>(Pick(0xD800, 0xDBFF));
            text += static_cast<wchar_t>(Pick(0xDC00, 0xDFFF));
            break;
        case 6: {
            static const wchar_t kEdges[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF};
            text += PickFrom(kEdges);
            break;
        }
        default:
            text += Pick(0, 3) == 0 ? L'\0' : static_cast<wchar_t>(Pick(1, 0xFFFF));
            break;
        }
    }

    std::mt19937 engine;
};

// The text is followed by zero bytes, as in a datagram's copy, so that no
// sequence reaches the end of the platform's input: Wine's converter then
// drops every byte left after a lead byte (E1 41 gives U+FFFD and no A),
// which Windows does not do. A zero byte ends any sequence as it ends ours;
// the result is cut at the first zero unit.
std::wstring PlatformUtf8ToUtf16(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const std::string padded = text + std::string(3, '\0');
    const int length = static_cast<int>(padded.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, padded.data(), length, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, padded.data(), length, out.data(), size);
    return out.substr(0, out.find(L'\0'));
}

std::string PlatformUtf16ToUtf8(const std::wstring& text)
{
    const int length = static_cast<int>(text.size());
    if (length == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), size, nullptr, nullptr);
    return out;
}

TEST(TextConversionOracleTest, Utf8ToUtf16MatchesThePlatform)
{
    RandomText random(kSeed);
    int mismatches = 0;
    for (int round = 0; round < kOracleRounds; ++round) {
        const std::string input = random.Utf8();
        const std::string beforeZero = input.substr(0, input.find('\0'));
        const std::wstring expected = PlatformUtf8ToUtf16(beforeZero);

        WideText out(Utf8ToUtf16(input.c_str()), &free);
        // No result exactly for empty text: ill-formed bytes still give U+FFFD.
        ASSERT_EQ(out.get() == nullptr, beforeZero.empty()) << "input " << Hex(input);
        const std::wstring actual = out ? std::wstring(out.get()) : std::wstring();
        if (actual != expected && ++mismatches <= kMaxReportedMismatches) {
            ADD_FAILURE() << "round " << round << ": input " << Hex(input) << "\n  ours     "
                          << Hex(actual) << "\n  platform " << Hex(expected);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TextConversionOracleTest, Utf16ToUtf8MatchesThePlatform)
{
    RandomText random(kSeed + 1);
    int mismatches = 0;
    for (int round = 0; round < kOracleRounds; ++round) {
        const std::wstring input = random.Utf16();
        const std::wstring beforeZero = input.substr(0, input.find(L'\0'));
        const std::string expected = PlatformUtf16ToUtf8(beforeZero);

        NarrowText out(Utf16ToUtf8(input.c_str()), &free);
        ASSERT_EQ(out.get() == nullptr, beforeZero.empty()) << "input " << Hex(input);
        const std::string actual = out ? std::string(out.get()) : std::string();
        if (actual != expected && ++mismatches <= kMaxReportedMismatches) {
            ADD_FAILURE() << "round " << round << ": input " << Hex(input) << "\n  ours     "
                          << Hex(actual) << "\n  platform " << Hex(expected);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
