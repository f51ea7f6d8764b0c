// The Wine control's font: the view's font, made safe from Wine's text shaper.
//
// Wine's rich edit shapes every paragraph with its own Uniscribe, which
// applies the font's OpenType glyph positioning (GPOS). Its mark-to-ligature
// step (and, in Wine 8, its mark-to-mark step) looks at the glyph before a
// mark with an unsigned index and no range check, and the rich edit asks for
// logical order, so "before" is index - 1 in every run, left-to-right or not.
// When a run's first glyph is a mark that such a lookup covers, the index
// wraps to 2^32 - 1 and the 64-bit shaper reads 8 GB past the glyph array: an
// access violation on the window thread (32-bit builds wrap back to the
// glyph before the array and read garbage instead). A datagram needs only a
// Hebrew or Arabic mark with no letter before it in its run ("\xD6\xB6",
// "x\xD6\xB6", "\xD9\x8E") to do it, and which fonts carry such lookups
// depends on the prefix (DejaVu Sans, which stands in for Tahoma on a plain
// Debian, and Wine's own Tahoma both do).
//
// Without a GPOS table the shaper never enters that code. The Wine control
// therefore uses a private copy of the view's font, built from its tables
// without that one and with a name of its own, whatever fonts the prefix
// holds.
#include "logwindow/wine/wine_view_font.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Table tags as the file stores them (big-endian, first letter high)...
constexpr uint32_t FileTag(const char (&name)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}
// ...and as GetFontData takes them (first letter in the low byte).
constexpr DWORD GdiTag(uint32_t fileTag)
{
    return (fileTag >> 24) | (fileTag >> 8 & 0xFF00) | (fileTag << 8 & 0xFF0000) | fileTag << 24;
}
constexpr uint32_t kPositioningTag = FileTag("GPOS");
constexpr uint32_t kNameTag = FileTag("name");
static_assert(GdiTag(kPositioningTag) == 0x534F5047, "GetFontData's tag order");
constexpr DWORD kFontStart = 0;

// The tables that a font may need to be drawn and shaped, for when GDI does
// not show the font's own list (a font of a collection may not).
constexpr uint32_t kKnownTags[] = {
    FileTag("OS/2"), FileTag("BASE"), FileTag("CBDT"), FileTag("CBLC"), FileTag("CFF "),
    FileTag("CFF2"), FileTag("COLR"), FileTag("CPAL"), FileTag("EBDT"), FileTag("EBLC"),
    FileTag("EBSC"), FileTag("GDEF"), FileTag("GSUB"), FileTag("HVAR"), FileTag("LTSH"),
    FileTag("MVAR"), FileTag("STAT"), FileTag("VDMX"), FileTag("VORG"), FileTag("VVAR"),
    FileTag("avar"), FileTag("cmap"), FileTag("cvar"), FileTag("cvt "), FileTag("fpgm"),
    FileTag("fvar"), FileTag("gasp"), FileTag("glyf"), FileTag("gvar"), FileTag("hdmx"),
    FileTag("head"), FileTag("hhea"), FileTag("hmtx"), FileTag("kern"), FileTag("loca"),
    FileTag("maxp"), FileTag("name"), FileTag("post"), FileTag("prep"), FileTag("sbix"),
    FileTag("vhea"), FileTag("vmtx"),
};

// The copy's family name; also its full and PostScript names.
constexpr wchar_t kPrivateFamily[] = L"Syslog View";
constexpr wchar_t kPrivateStyle[] = L"Regular";
constexpr wchar_t kPrivatePostScriptName[] = L"SyslogView";
static_assert(sizeof(kPrivateFamily) / sizeof(wchar_t) <= LF_FACESIZE, "face names are short");

// The sfnt layout: a 12-byte header (version, table count, three search
// hints), then a directory of 16-byte records (tag, checksum, offset,
// length), then the tables, each at a multiple of 4. Numbers are big-endian.
constexpr size_t kHeaderSize = 12;
constexpr size_t kRecordSize = 16;
constexpr size_t kTableAlignment = 4;
constexpr uint32_t kTrueTypeVersion = 0x00010000;
constexpr uint32_t kCffVersion = 0x4F54544F;  // "OTTO"
constexpr uint32_t kAppleTrueTypeVersion = 0x74727565;  // "true"
// A table count that no real font reaches; a directory claiming more is not one.
constexpr size_t kMostTables = 256;

// Name table, format 0: a 6-byte header, then 12-byte records; names for the
// Windows platform, Unicode BMP encoding, US English.
constexpr uint16_t kWindowsPlatform = 3;
constexpr uint16_t kUnicodeBmpEncoding = 1;
constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint16_t kFamilyNameId = 1;
constexpr uint16_t kStyleNameId = 2;
constexpr uint16_t kFullNameId = 4;
constexpr uint16_t kPostScriptNameId = 6;
constexpr size_t kNameHeaderSize = 6;
constexpr size_t kNameRecordSize = 12;

HFONT CreateNamedFont(int height, const wchar_t* face)
{
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

uint32_t ReadBig(const Bytes& data, size_t at, size_t size)
{
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value = value << 8 | data[at + i];
    }
    return value;
}

void AppendBig(Bytes& data, uint32_t value, size_t size)
{
    for (size_t i = size; i > 0; --i) {
        data.push_back(static_cast<uint8_t>(value >> (8 * (i - 1))));
    }
}

// A font selected into a memory device context, to read its tables.
class CSelectedFont {
public:
    explicit CSelectedFont(HFONT font) : dc(CreateCompatibleDC(nullptr))
    {
        previous = dc != nullptr ? SelectObject(dc, font) : nullptr;
    }
    ~CSelectedFont()
    {
        if (dc != nullptr) {
            SelectObject(dc, previous);
            DeleteDC(dc);
        }
    }
    CSelectedFont(const CSelectedFont&) = delete;
    CSelectedFont& operator=(const CSelectedFont&) = delete;

    bool HasTable(uint32_t tag) const
    {
        return previous != nullptr && GetFontData(dc, GdiTag(tag), 0, nullptr, 0) != GDI_ERROR;
    }

    // `size` bytes of a table (or of the font's start) from `at`; empty when
    // GDI has fewer.
    Bytes Read(DWORD gdiTag, DWORD at, DWORD size) const
    {
        Bytes data(size);
        if (previous == nullptr || size == 0 ||
            GetFontData(dc, gdiTag, at, data.data(), size) != size) {
            data.clear();
        }
        return data;
    }

    Bytes Table(uint32_t tag) const
    {
        const DWORD size =
            previous != nullptr ? GetFontData(dc, GdiTag(tag), 0, nullptr, 0) : GDI_ERROR;
        return size == GDI_ERROR ? Bytes() : Read(GdiTag(tag), 0, size);
    }

    // The tags in the font's own directory; empty when GDI does not show it.
    std::vector<uint32_t> DirectoryTags() const
    {
        std::vector<uint32_t> tags;
        const Bytes header = Read(kFontStart, 0, kHeaderSize);
        if (header.empty()) {
            return tags;
        }
        const uint32_t version = ReadBig(header, 0, 4);
        const size_t count = ReadBig(header, 4, 2);
        if ((version != kTrueTypeVersion && version != kCffVersion &&
             version != kAppleTrueTypeVersion) ||
            count > kMostTables) {
            return tags;
        }
        const Bytes directory =
            Read(kFontStart, kHeaderSize, static_cast<DWORD>(count * kRecordSize));
        for (size_t i = 0; i < count && !directory.empty(); ++i) {
            tags.push_back(ReadBig(directory, i * kRecordSize, 4));
        }
        return tags;
    }

    bool HasFace(const wchar_t* face) const
    {
        wchar_t selected[LF_FACESIZE] = {};
        return previous != nullptr && GetTextFaceW(dc, LF_FACESIZE, selected) > 0 &&
               wcscmp(selected, face) == 0;
    }

private:
    HDC dc;
    HGDIOBJ previous;
};

struct NameRecord {
    uint16_t id;
    const wchar_t* text;
};

// A name table that names the copy, and nothing else.
Bytes PrivateNameTable()
{
    // Sorted by name id, as the format asks.
    const NameRecord records[] = {
        {kFamilyNameId, kPrivateFamily},
        {kStyleNameId, kPrivateStyle},
        {kFullNameId, kPrivateFamily},
        {kPostScriptNameId, kPrivatePostScriptName},
    };
    const size_t count = sizeof(records) / sizeof(records[0]);
    Bytes table;
    AppendBig(table, 0, 2);  // format 0
    AppendBig(table, static_cast<uint32_t>(count), 2);
    AppendBig(table, static_cast<uint32_t>(kNameHeaderSize + count * kNameRecordSize), 2);
    Bytes strings;
    for (const NameRecord& record : records) {
        AppendBig(table, kWindowsPlatform, 2);
        AppendBig(table, kUnicodeBmpEncoding, 2);
        AppendBig(table, kUsEnglish, 2);
        AppendBig(table, record.id, 2);
        AppendBig(table, static_cast<uint32_t>(wcslen(record.text) * 2), 2);
        AppendBig(table, static_cast<uint32_t>(strings.size()), 2);
        for (const wchar_t* unit = record.text; *unit != L'\0'; ++unit) {
            AppendBig(strings, *unit, 2);
        }
    }
    table.insert(table.end(), strings.begin(), strings.end());
    return table;
}

struct Table {
    uint32_t tag;
    Bytes data;
};

uint32_t Checksum(const Bytes& padded)
{
    uint32_t sum = 0;
    for (size_t at = 0; at < padded.size(); at += 4) {
        sum += ReadBig(padded, at, 4);
    }
    return sum;
}

// A font file of these tables (sorted by tag), as the format lays it out.
Bytes BuildFont(uint32_t version, std::vector<Table>& tables)
{
    size_t power = 1;
    size_t exponent = 0;
    while (power * 2 <= tables.size()) {
        power *= 2;
        ++exponent;
    }
    Bytes file;
    AppendBig(file, version, 4);
    AppendBig(file, static_cast<uint32_t>(tables.size()), 2);
    AppendBig(file, static_cast<uint32_t>(power * kRecordSize), 2);
    AppendBig(file, static_cast<uint32_t>(exponent), 2);
    AppendBig(file, static_cast<uint32_t>((tables.size() - power) * kRecordSize), 2);
    size_t offset = kHeaderSize + tables.size() * kRecordSize;
    for (Table& table : tables) {
        const size_t length = table.data.size();
        table.data.resize((length + kTableAlignment - 1) / kTableAlignment * kTableAlignment);
        AppendBig(file, table.tag, 4);
        AppendBig(file, Checksum(table.data), 4);
        AppendBig(file, static_cast<uint32_t>(offset), 4);
        AppendBig(file, static_cast<uint32_t>(length), 4);
        offset += table.data.size();
    }
    for (const Table& table : tables) {
        file.insert(file.end(), table.data.begin(), table.data.end());
    }
    return file;
}

// The selected font again as a standalone file: every table but the
// positioning one, and a name table of its own. Empty when GDI does not give
// the tables.
Bytes CopyWithoutPositioning(const CSelectedFont& selected)
{
    std::vector<uint32_t> tags = selected.DirectoryTags();
    if (tags.empty()) {
        tags.assign(std::begin(kKnownTags), std::end(kKnownTags));
    }
    tags.push_back(kNameTag);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    std::vector<Table> tables;
    for (uint32_t tag : tags) {
        if (tag == kPositioningTag) {
            continue;
        } else if (tag == kNameTag) {
            tables.push_back({tag, PrivateNameTable()});
        } else if (selected.HasTable(tag)) {
            Bytes data = selected.Table(tag);
            if (data.empty()) {
                return {};
            }
            tables.push_back({tag, std::move(data)});
        }
    }
    if (!selected.HasTable(kNameTag)) {
        return {};  // not an sfnt font
    }
    const uint32_t version = selected.HasTable(FileTag("CFF ")) ? kCffVersion : kTrueTypeVersion;
    return BuildFont(version, tables);
}

// Loads the copy of `font`, once per process; the view's fonts are made
// from it by name for as long as the process runs, at any height. False
// when the font has no positioning table (it needs no copy) or no copy
// could be made.
bool LoadPrivateCopy(HFONT font)
{
    Bytes file;
    {
        const CSelectedFont selected(font);
        if (selected.HasTable(kPositioningTag)) {
            file = CopyWithoutPositioning(selected);
        }
    }
    if (file.empty()) {
        return false;
    }
    DWORD installed = 0;
    // The system keeps its own copy of the data.
    return AddFontMemResourceEx(file.data(), static_cast<DWORD>(file.size()), nullptr,
                                &installed) != nullptr &&
           installed > 0;
}

// The copy at `height`, when it is what GDI selects for its name and has no
// positioning table; null otherwise.
HFONT CreatePrivateFont(int height)
{
    const HFONT font = CreateNamedFont(height, kPrivateFamily);
    if (font == nullptr) {
        return nullptr;
    }
    bool safe = false;
    {
        const CSelectedFont selected(font);
        safe = selected.HasFace(kPrivateFamily) && !selected.HasTable(kPositioningTag);
    }
    if (!safe) {
        DeleteObject(font);
        return nullptr;
    }
    return font;
}

}  // namespace

HFONT CreateWineViewFont(HFONT viewFont)
{
    LOGFONTW face = {};
    if (viewFont == nullptr || GetObjectW(viewFont, sizeof face, &face) == 0) {
        return nullptr;
    }
    // Every later call uses the copy that the first one loaded.
    static const bool loaded = LoadPrivateCopy(viewFont);
    return loaded ? CreatePrivateFont(face.lfHeight) : nullptr;
}
