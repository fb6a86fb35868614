// The colour scheme of an Office Open XML package's theme part (xl/theme/theme1.xml),
// which .xlsx and .xlsb workbooks share: what theme colours in cell formats stand for.
#pragma once

#include <string_view>

#include "engine/core/palette.h"

namespace corvane {

// The theme's colour scheme; the Office theme's for an empty part. Throws AutomationError on
// XML that is not well formed or that declares entities.
ThemeColors ReadThemeColors(std::string_view themeXml);

}  // namespace corvane
