// Cell formats of Excel binary workbooks (xl/styles.bin).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

class ZipPackage;

namespace xlsb {

// Renders the fonts, fills, borders, number formats, cell formats and palette of a
// styles.bin part as the equivalent styles.xml, so that ReadStyles resolves them
// (colours, themes, tints, built-in formats) exactly as it does for an .xlsx file.
// `themeXml` (may be empty) names the fonts of theme fonts written for another script.
// `what` names the part in errors.
std::string StylesToXml(const ZipPackage& pkg, std::string_view part, std::string_view themeXml,
                        const std::string& what);

}  // namespace xlsb
}  // namespace corvane
