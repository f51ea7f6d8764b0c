// The Wine control's font: the view's font, made safe from Wine's text shaper.
#pragma once

#include <windows.h>

// A private copy of the font that `viewFont` resolves to, at its height,
// without its glyph positioning table: Wine's shaper, which its rich edit
// runs on every paragraph, faults on some texts while it applies that table
// (see wine_view_font.cpp). The copy looks the same; only the fine placement
// of combining marks is lost. Null when the font needs no copy (it has no
// such table) or none could be made; the caller then uses `viewFont`.
HFONT CreateWineViewFont(HFONT viewFont);
