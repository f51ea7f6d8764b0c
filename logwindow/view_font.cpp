// The log view's font, made safe from Wine's text shaper.
//
// Wine's rich edit shapes every paragraph with its own Uniscribe, which
// applies the font's OpenType glyph positioning (GPOS). Its mark-to-ligature
// step (and, in Wine 8, its mark-to-mark step) looks at the glyph before a
// mark with an unsigned index and no range check. When a run's first glyph is
// a mark that such a lookup covers, the index wraps to 2^32 - 1 and the 64-bit
// shaper reads 8 GB past the glyph array: an access violation on the window
// thread. A datagram needs only a Hebrew or Arabic mark with no letter before
// it in its run ("\xD6\xB6", "x\xD6\xB6", "\xD9\x8E") to do it, and which
// fonts carry such lookups depends on the prefix (DejaVu Sans, which stands
// in for Tahoma on a plain Debian, and Wine's own Tahoma both do).
//
// Without a GPOS table the shaper never enters that code. Under Wine the view
// therefore uses a private copy of the font that the face resolves to, with
// the table hidden and a name of its own, whatever fonts the prefix holds.
#include "logwindow/view_font.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// GetFontData takes a table's tag with its first letter in the low byte.
constexpr DWORD TableTag(char a, char b, char c, char d)
{
    return static_cast<DWORD>(static_cast<uint8_t>(a)) |
           static_cast<DWORD>(static_cast<uint8_t>(b)) << 8 |
           static_cast<DWORD>(static_cast<uint8_t>(c)) << 16 |
           static_cast<DWORD>(static_cast<uint8_t>(d)) << 24;
}
constexpr DWORD kPositioningTable = TableTag('G', 'P', 'O', 'S');
constexpr DWORD kWholeFont = 0;

// The copy's family name; also its full and PostScript names.
constexpr wchar_t kPrivateFamily[] = L"Syslog View";
constexpr wchar_t kPrivateStyle[] = L"Regular";
constexpr wchar_t kPrivatePostScriptName[] = L"SyslogView";
static_assert(sizeof(kPrivateFamily) / sizeof(wchar_t) <= LF_FACESIZE, "face names are short");

// The sfnt layout: a table directory after a 12-byte header, 16 bytes per
// table (tag, checksum, offset, length); all numbers big-endian.
constexpr size_t kHeaderSize = 12;
constexpr size_t kTableCountAt = 4;
constexpr size_t kRecordSize = 16;
constexpr size_t kRecordOffsetAt = 8;
constexpr size_t kRecordLengthAt = 12;
constexpr uint32_t kTrueTypeVersion = 0x00010000;
constexpr uint32_t kOpenTypeCffVersion = 0x4F54544F;  // "OTTO"
constexpr uint32_t kAppleTrueTypeVersion = 0x74727565;  // "true"
// The head table's magic number, which tells a directory whose offsets are
// right from one that points elsewhere (a font of a collection).
constexpr size_t kHeadMagicAt = 12;
constexpr uint32_t kHeadMagic = 0x5F0F3CF5;
// The tag under which the positioning table stays in the copy, unread.
constexpr char kHiddenTag[] = "gpos";
constexpr size_t kTableAlignment = 4;

// Name table, format 0: a 6-byte header, then 12-byte records. Windows
// platform, Unicode BMP encoding, US English.
constexpr uint16_t kWindowsPlatform = 3;
constexpr uint16_t kUnicodeBmpEncoding = 1;
constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint16_t kFamilyNameId = 1;
constexpr uint16_t kStyleNameId = 2;
constexpr uint16_t kFullNameId = 4;
constexpr uint16_t kPostScriptNameId = 6;
constexpr size_t kNameHeaderSize = 6;
constexpr size_t kNameRecordSize = 12;

bool RunsOnWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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

void WriteBig(Bytes& data, size_t at, uint32_t value, size_t size)
{
    for (size_t i = size; i > 0; --i) {
        data[at + i - 1] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

void AppendBig(Bytes& data, uint32_t value, size_t size)
{
    data.resize(data.size() + size);
    WriteBig(data, data.size() - size, value, size);
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

    bool HasTable(DWORD tag) const
    {
        return previous != nullptr && GetFontData(dc, tag, 0, nullptr, 0) != GDI_ERROR;
    }

    // The whole font file, or nothing.
    Bytes File() const
    {
        Bytes data;
        if (previous == nullptr) {
            return data;
        }
        const DWORD size = GetFontData(dc, kWholeFont, 0, nullptr, 0);
        if (size == GDI_ERROR || size < kHeaderSize) {
            return data;
        }
        data.resize(size);
        if (GetFontData(dc, kWholeFont, 0, data.data(), size) != size) {
            data.clear();
        }
        return data;
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

// The table record with this tag in the file's directory; 0 when none.
size_t FindRecord(const Bytes& file, const char* tag)
{
    const size_t count = ReadBig(file, kTableCountAt, 2);
    for (size_t i = 0; i < count; ++i) {
        const size_t record = kHeaderSize + i * kRecordSize;
        if (memcmp(&file[record], tag, 4) == 0) {
            return record;
        }
    }
    return 0;
}

// A standalone font file whose every table lies inside it.
bool IsWholeFont(const Bytes& file)
{
    const uint32_t version = ReadBig(file, 0, 4);
    if (version != kTrueTypeVersion && version != kOpenTypeCffVersion &&
        version != kAppleTrueTypeVersion) {
        return false;
    }
    const size_t count = ReadBig(file, kTableCountAt, 2);
    if (file.size() < kHeaderSize + count * kRecordSize) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t record = kHeaderSize + i * kRecordSize;
        const uint64_t offset = ReadBig(file, record + kRecordOffsetAt, 4);
        const uint64_t length = ReadBig(file, record + kRecordLengthAt, 4);
        if (offset + length > file.size()) {
            return false;
        }
    }
    const size_t head = FindRecord(file, "head");
    if (head == 0 || ReadBig(file, head + kRecordLengthAt, 4) < kHeadMagicAt + 4) {
        return false;
    }
    return ReadBig(file, ReadBig(file, head + kRecordOffsetAt, 4) + kHeadMagicAt, 4) == kHeadMagic;
}

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
        const size_t length = wcslen(record.text) * 2;
        AppendBig(table, kWindowsPlatform, 2);
        AppendBig(table, kUnicodeBmpEncoding, 2);
        AppendBig(table, kUsEnglish, 2);
        AppendBig(table, record.id, 2);
        AppendBig(table, static_cast<uint32_t>(length), 2);
        AppendBig(table, static_cast<uint32_t>(strings.size()), 2);
        for (const wchar_t* unit = record.text; *unit != L'\0'; ++unit) {
            AppendBig(strings, *unit, 2);
        }
    }
    table.insert(table.end(), strings.begin(), strings.end());
    return table;
}

// The file again, with its positioning table renamed so that no one finds
// it, and a new name table at the end. False when the file is not a whole
// font with both tables.
bool HidePositioning(Bytes& file)
{
    if (!IsWholeFont(file)) {
        return false;
    }
    const size_t positioning = FindRecord(file, "GPOS");
    const size_t names = FindRecord(file, "name");
    if (positioning == 0 || names == 0) {
        return false;
    }
    memcpy(&file[positioning], kHiddenTag, 4);
    file.resize((file.size() + kTableAlignment - 1) / kTableAlignment * kTableAlignment);
    const Bytes table = PrivateNameTable();
    WriteBig(file, names + kRecordOffsetAt, static_cast<uint32_t>(file.size()), 4);
    WriteBig(file, names + kRecordLengthAt, static_cast<uint32_t>(table.size()), 4);
    file.insert(file.end(), table.begin(), table.end());
    return true;
}

// Loads the copy of the font that `face` resolves to, once per process; the
// view's fonts are made from it by name for as long as the process runs.
// False when the face needs no copy or none could be made.
bool LoadPrivateCopy(int height, const wchar_t* face)
{
    const HFONT font = CreateNamedFont(height, face);
    if (font == nullptr) {
        return false;
    }
    Bytes file;
    {
        const CSelectedFont selected(font);
        if (selected.HasTable(kPositioningTable)) {
            file = selected.File();
        }
    }
    DeleteObject(font);
    if (file.empty() || !HidePositioning(file)) {
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
        safe = selected.HasFace(kPrivateFamily) && !selected.HasTable(kPositioningTable);
    }
    if (!safe) {
        DeleteObject(font);
        return nullptr;
    }
    return font;
}

}  // namespace

HFONT CreateLogViewFont(int height, const wchar_t* face)
{
    if (RunsOnWine()) {
        // Every later call uses the copy that the first one loaded.
        static const bool loaded = LoadPrivateCopy(height, face);
        if (loaded) {
            if (const HFONT font = CreatePrivateFont(height)) {
                return font;
            }
        }
    }
    return CreateNamedFont(height, face);
}
