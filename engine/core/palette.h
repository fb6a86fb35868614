// The colours behind a file's colour numbers, whatever its format: the default palette of
// indexed colours, the Office theme of theme colours, and tints.
#pragma once

#include <array>
#include <cstdint>

#include "engine/core/style.h"

namespace corvane {

inline constexpr int kPaletteSize = 64;

// Theme slots in the order of <a:clrScheme>.
enum ThemeSlot { kDk1, kLt1, kDk2, kLt2, kAccent1, kAccent2, kAccent3, kAccent4, kAccent5,
                 kAccent6, kHlink, kFolHlink, kThemeSlots };
using ThemeColors = std::array<Rgb, kThemeSlots>;

// The Office theme (2007-2010, the one libxlsxwriter writes too), for workbooks
// that have no theme part.
inline constexpr ThemeColors kDefaultTheme = {0x000000, 0xFFFFFF, 0x1F497D, 0xEEECE1, 0x4F81BD, 0xC0504D,
                                              0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

// Theme colour `index` as cell formats count them (0 = light 1, 1 = dark 1, 2 = light 2,
// 3 = dark 2, 4..9 = accents, 10/11 = links) of `theme`; kAutoColor outside it.
Rgb ThemeColor(const ThemeColors& theme, int64_t index);

// Entry `index` (0-63) of the default colour palette behind indexed colours; kAutoColor
// outside it.
Rgb DefaultPaletteColor(int index);

// Theme colour `index` of the Office theme, for formats whose own theme is not read.
Rgb OfficeThemeColor(int index);

// A colour lightened (tint > 0) or darkened (tint < 0, down to -1) as spreadsheets do: only
// its luminance changes.
Rgb Tinted(Rgb color, double tint);

}  // namespace corvane
