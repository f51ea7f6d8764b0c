// The log view's font, made safe from Wine's text shaper.
#pragma once

#include <windows.h>

// Creates the log view's font: `face` at `height` (as CreateFontW takes it).
// On Windows exactly that. Under Wine, a private copy of the font that `face`
// resolves to, without its glyph positioning table: Wine's shaper, which
// its rich edit runs on every paragraph, faults on some texts while it
// applies that table (see view_font.cpp). The copy looks the same; only the
// fine placement of combining marks is lost. Null when no font can be made.
HFONT CreateLogViewFont(int height, const wchar_t* face);
