#include "logwindow/wine/wine_view_font.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

namespace {

// 'GPOS' as GetFontData takes a tag.
constexpr DWORD kPositioningTable = 0x534F5047;

class CFontInContext {
public:
    explicit CFontInContext(HFONT font) : dc(CreateCompatibleDC(nullptr))
    {
        previous = SelectObject(dc, font);
    }
    ~CFontInContext()
    {
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
    CFontInContext(const CFontInContext&) = delete;
    CFontInContext& operator=(const CFontInContext&) = delete;

    std::wstring Face() const
    {
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, face);
        return face;
    }
    bool HasPositioning() const
    {
        return GetFontData(dc, kPositioningTable, 0, nullptr, 0) != GDI_ERROR;
    }
    SIZE Extent(const std::wstring& text) const
    {
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }

private:
    HDC dc;
    HGDIOBJ previous;
};

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The copy is what the view's font is, at its height, without the one table
// that Wine's shaper faults on.
TEST(WineViewFontTest, CopyLooksLikeTheViewFontWithoutItsPositioning)
{
    const Font viewFont(CreateFontW(-22, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    ASSERT_NE(viewFont, nullptr);
    const CFontInContext original(viewFont.get());
    if (!original.HasPositioning()) {
        GTEST_SKIP() << "Tahoma resolves to " << testing::PrintToString(original.Face())
                     << ", which has no positioning table: no copy is needed";
    }
    const Font copy(CreateWineViewFont(viewFont.get()));
    ASSERT_NE(copy, nullptr);
    {
        const CFontInContext safe(copy.get());
        EXPECT_NE(safe.Face(), original.Face());
        EXPECT_FALSE(safe.HasPositioning());
        const std::wstring sample = L"<13>Dec  9 host app[42]: caf\u00E9 0123456789";
        EXPECT_EQ(safe.Extent(sample).cx, original.Extent(sample).cx);
        EXPECT_EQ(safe.Extent(sample).cy, original.Extent(sample).cy);
    }
}

}  // namespace
