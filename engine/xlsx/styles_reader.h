// Reads the cell formats of an .xlsx workbook (xl/styles.xml, with the colours
// of xl/theme/theme1.xml) into resolved Style values.
#pragma once

#include <string_view>
#include <vector>

#include "engine/core/builtin_formats.h"
#include "engine/core/style.h"

namespace corvane {

// One resolved Style per <cellXfs> entry of xl/styles.xml, in order (index = the cell's s attribute).
// themeXml is xl/theme/theme1.xml (may be empty: the default Office theme colours are used then).
// An empty stylesXml, or one without cellXfs, gives one default style (Calibri 11, General).
// Throws AutomationError on XML that is not well formed or that declares entities.
std::vector<Style> ReadStyles(std::string_view stylesXml, std::string_view themeXml);

// Entry `index` (0-63) of the default colour palette behind indexed colours; kAutoColor
// outside it.
Rgb DefaultPaletteColor(int index);

// Theme colour `index` as cell formats count them (0 = light 1, 1 = dark 1, 2 = light 2,
// 3 = dark 2, 4..9 = accents, 10/11 = links) of the Office theme, for formats whose own theme
// is not read; kAutoColor outside it.
Rgb OfficeThemeColor(int index);

// A colour lightened (tint > 0) or darkened (tint < 0, down to -1) as spreadsheets do: only
// its luminance changes.
Rgb Tinted(Rgb color, double tint);

// True for a format that shows a calendar date: it has y, d or a month m outside
// quotes, escapes and [..] sections. Pure time (h:mm:ss) and elapsed time ([h]:mm)
// formats are not dates.
bool IsDateFormat(std::string_view code);

}  // namespace corvane
