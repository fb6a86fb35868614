// Reads the cell formats of an .xlsx workbook (xl/styles.xml, with the colours
// of xl/theme/theme1.xml) into resolved Style values.
#pragma once

#include <string_view>
#include <vector>

#include "engine/builtin_formats.h"
#include "engine/style.h"

namespace corvane {

// One resolved Style per <cellXfs> entry of xl/styles.xml, in order (index = the cell's s attribute).
// themeXml is xl/theme/theme1.xml (may be empty: the default Office theme colours are used then).
// An empty stylesXml, or one without cellXfs, gives one default style (Calibri 11, General).
// Throws AutomationError on XML that is not well formed or that declares entities.
std::vector<Style> ReadStyles(std::string_view stylesXml, std::string_view themeXml);

// Entry `index` (0-63) of the default colour palette behind indexed colours; kAutoColor
// outside it.
Rgb DefaultPaletteColor(int index);

// True for a format that shows a calendar date: it has y, d or a month m outside
// quotes, escapes and [..] sections. Pure time (h:mm:ss) and elapsed time ([h]:mm)
// formats are not dates.
bool IsDateFormat(std::string_view code);

}  // namespace corvane
