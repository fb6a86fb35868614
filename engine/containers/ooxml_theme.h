// The theme part of an Office Open XML package (xl/theme/theme1.xml), which .xlsx and .xlsb
// workbooks share: what theme colours in cell formats stand for, and the typefaces of the
// theme's fonts for each script.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "engine/core/palette.h"

namespace corvane {

struct Theme {
  ThemeColors colors = kDefaultTheme;
  // The typefaces of the theme's major and minor fonts by script ("Jpan", "Hang", ...).
  std::map<std::string, std::string> majorFonts, minorFonts;
};

// The theme in `themeXml`; the Office theme for an empty part. `what` names the file and the
// part in errors. Throws AutomationError on XML that is not well formed or that has a
// document type declaration.
Theme ReadTheme(std::string_view themeXml, const std::string& what);

}  // namespace corvane
