// Cell formats of Excel binary workbooks (xl/styles.bin).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/core/style.h"

namespace corvane {

class ZipPackage;

namespace xlsb {

// One resolved Style per cell format of a styles.bin part, in order: its fonts, fills,
// borders, number formats, cell formats and palette, with colours, themes, tints and
// built-in formats resolved as for an .xlsx file. `themeXml` (may be empty) gives the theme
// colours and the fonts of theme fonts written for another script. `what` and `themeWhat`
// name the file and the parts in errors ("\"a.xlsb\" (part xl/styles.bin)").
std::vector<Style> ReadStyles(const ZipPackage& pkg, std::string_view part, std::string_view themeXml,
                              const std::string& what, const std::string& themeWhat);

}  // namespace xlsb
}  // namespace corvane
