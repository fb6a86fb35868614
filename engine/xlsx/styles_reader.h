// Reads the cell formats of an .xlsx workbook (xl/styles.xml, with the colours
// of xl/theme/theme1.xml) into resolved Style values.
#pragma once

#include <string_view>
#include <vector>

#include "engine/core/style.h"

namespace corvane {

// One resolved Style per <cellXfs> entry of xl/styles.xml, in order (index = the cell's s attribute).
// themeXml is xl/theme/theme1.xml (may be empty: the default Office theme colours are used then).
// An empty stylesXml, or one without cellXfs, gives one default style (Calibri 11, General).
// Throws AutomationError on XML that is not well formed or that declares entities.
std::vector<Style> ReadStyles(std::string_view stylesXml, std::string_view themeXml);

}  // namespace corvane
