// Cell formats of an .xls workbook as its FONT, FORMAT, XF and XFEXT records store them,
// and the resolved styles they become once the palette is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/core/palette.h"
#include "engine/core/style.h"

namespace corvane {
struct StyleTable;
}

namespace corvane::xls {


struct RawFont {
  double size = 10;
  bool bold = false, italic = false, strike = false;
  Underline underline = Underline::None;
  uint16_t color = 0x7FFF;
  std::string name = "Arial";
};

// A gradient fill as an XFEXT record gives it (Excel 2007 and later), its colours resolved
// once the palette is known.
struct RawGradient {
  struct Stop {
    uint16_t kind;   // 1 palette index, 2 RGB, 3 theme colour; else automatic
    uint32_t value;
    double position, tint;
  };
  Gradient::Type type = Gradient::Type::Linear;
  double degree = 0, left = 0, right = 0, top = 0, bottom = 0;
  std::vector<Stop> stops;
};

struct RawXf {
  uint16_t font = 0, fmt = 0;
  bool style = false, locked = true, hidden = false;
  uint8_t hAlign = 0, vAlign = 2, rotation = 0, indent = 0;
  bool wrap = false, shrink = false;
  uint8_t left = 0, right = 0, top = 0, bottom = 0, diagonal = 0;
  uint8_t leftColor = 64, rightColor = 64, topColor = 64, bottomColor = 64, diagonalColor = 64;
  bool diagonalDown = false, diagonalUp = false;
  uint8_t pattern = 0, fg = 64, bg = 65;
  RawGradient gradient;
};

// XFEXT: properties later versions added to a cell format. Only the gradient fill is taken:
// the rest (theme colours of borders and fonts) the XF itself says closely enough.
void ReadXfExt(const uint8_t* d, size_t n, std::vector<RawXf>& xfs);

// The style table: the default XF first (index 0), then every XF in order. Colours are
// indexes into `palette`, 64 and above automatic.
std::shared_ptr<const StyleTable> BuildStyles(const std::vector<RawFont>& fonts,
                                              const std::unordered_map<uint16_t, std::string>& formats,
                                              const std::vector<RawXf>& xfs, size_t defaultXf,
                                              const Rgb (&palette)[64], bool date1904);

}  // namespace corvane::xls
