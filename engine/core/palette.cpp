#include "engine/core/palette.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace corvane {

namespace {

// Excel's default palette: 0-7 the fixed colours, 8-63 the Excel 97 colours.
constexpr std::array<Rgb, kPaletteSize> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// A cell colour's theme="n" counts light before dark: 0 = lt1, 1 = dk1, 2 = lt2, 3 = dk2.
constexpr std::array<int, kThemeSlots> kThemeIndexToSlot = {kLt1, kDk1, kLt2, kDk2, kAccent1,
                                                            kAccent2, kAccent3, kAccent4, kAccent5,
                                                            kAccent6, kHlink, kFolHlink};

// Lightens (tint > 0) or darkens (tint < 0) in HLS space the way Excel does:
// only the luminance changes.
Rgb ApplyTint(Rgb c, double tint) {
  if (tint == 0 || c == kAutoColor) return c;
  double r = ((c >> 16) & 0xFF) / 255.0, g = ((c >> 8) & 0xFF) / 255.0, b = (c & 0xFF) / 255.0;
  double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  double l = (mx + mn) / 2, h = 0, s = 0;
  if (mx != mn) {
    double d = mx - mn;
    s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (mx == r)
      h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g)
      h = (b - r) / d + 2;
    else
      h = (r - g) / d + 4;
    h /= 6;
  }
  l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;

  auto hue = [](double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
  };
  if (s == 0) {
    r = g = b = l;
  } else {
    double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    double p = 2 * l - q;
    r = hue(p, q, h + 1.0 / 3);
    g = hue(p, q, h);
    b = hue(p, q, h - 1.0 / 3);
  }
  auto byte = [](double v) {
    return static_cast<Rgb>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  };
  return (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

}  // namespace

Rgb ThemeColor(const ThemeColors& theme, int64_t index) {
  return index >= 0 && index < kThemeSlots
             ? theme[static_cast<size_t>(kThemeIndexToSlot[static_cast<size_t>(index)])]
             : kAutoColor;
}

Rgb OfficeThemeColor(int index) { return ThemeColor(kDefaultTheme, index); }

Rgb Tinted(Rgb color, double tint) { return ApplyTint(color, std::clamp(tint, -1.0, 1.0)); }

Rgb DefaultPaletteColor(int index) {
  return index >= 0 && index < kPaletteSize ? kDefaultPalette[static_cast<size_t>(index)] : kAutoColor;
}

}  // namespace corvane
