// Reads the cell formats of an .xlsx workbook (xl/styles.xml, with the colours
// of xl/theme/theme1.xml) into resolved Style values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/core/style.h"

namespace corvane {

// One resolved Style per <cellXfs> entry of xl/styles.xml, in order (index = the cell's s attribute).
// themeXml is xl/theme/theme1.xml (may be empty: the default Office theme colours are used then).
// An empty stylesXml, or one without cellXfs, gives one default style (Calibri 11, General).
// `stylesWhat` and `themeWhat` name the file and the parts in errors ("\"a.xlsx\" (part
// xl/styles.xml)"). Throws AutomationError on XML that is not well formed or that has a
// document type declaration.
std::vector<Style> ReadStyles(std::string_view stylesXml, std::string_view themeXml,
                              const std::string& stylesWhat = "xl/styles.xml",
                              const std::string& themeWhat = "xl/theme/theme1.xml");

}  // namespace corvane
