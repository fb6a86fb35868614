// A workbook's cell formats as its file lists them (number formats, fonts, fills, borders,
// cell formats and palette, colours still as the file names them), and their resolution into
// the Style values cells refer to. Every format's styles reader fills one: the .xlsx reader
// from styles.xml, the .xlsb reader from the records of styles.bin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/palette.h"
#include "engine/core/style.h"

namespace corvane {

// A colour as the file gives it, resolved once the palette and theme are known
// (in styles.xml the <colors> element comes after the cellXfs that use it).
struct RawColor {
  enum Kind : uint8_t { None, Auto, Rgb, Theme, Indexed };
  Kind kind = None;
  int64_t value = 0;
  double tint = 0;
};

struct RawFont {
  std::string name;
  double size = 11;
  bool bold = false, italic = false, strike = false;
  Underline underline = Underline::None;
  RawColor color;
};

struct RawStop {
  double position = 0;
  RawColor color;
};

struct RawFill {
  FillPattern pattern = FillPattern::None;
  RawColor fg, bg;
  bool gradient = false;
  Gradient::Type type = Gradient::Type::Linear;
  double degree = 0, left = 0, right = 0, top = 0, bottom = 0;
  std::vector<RawStop> stops;
};

struct RawSide {
  BorderStyle style = BorderStyle::None;
  RawColor color;
};

struct RawBorder {
  RawSide left, right, top, bottom, diagonal;
  bool diagonalUp = false, diagonalDown = false;
};

struct RawXf {
  int64_t numFmt = 0, font = 0, fill = 0, border = 0;
  HAlign hAlign = HAlign::General;
  VAlign vAlign = VAlign::Bottom;
  bool wrap = false, shrink = false;
  uint8_t indent = 0;
  int16_t rotation = 0;
  bool locked = true, hidden = false;
};

inline constexpr int kMaxIndent = 250;  // Excel's own limit
// A gradient's stops hold at most this many colours (Excel's own limit is 256).
inline constexpr size_t kMaxStops = 256;

struct Stylesheet {
  std::vector<std::pair<int64_t, std::string>> numFmts;  // in file order; a later one wins
  std::vector<RawFont> fonts;
  std::vector<RawFill> fills;
  std::vector<RawBorder> borders;
  std::vector<RawXf> xfs;                  // the cell formats (index = a cell's style)
  std::vector<std::optional<Rgb>> palette;  // the file's own indexed colours, when it has them
};

// One resolved Style per cell format, in order: ids to their fonts, fills, borders and number
// formats (built-in ids expanded), colours through `theme` and the palette. A sheet without
// cell formats gives one default style (Calibri 11, General).
std::vector<Style> ResolveStyles(const Stylesheet& in, const ThemeColors& theme);

}  // namespace corvane
