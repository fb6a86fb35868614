// Cell formats as the user sees them: every colour already resolved to RGB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// 0xRRGGBB, or kAutoColor when the file leaves the colour to the application.
using Rgb = uint32_t;
inline constexpr Rgb kAutoColor = 0xFFFFFFFFu;

enum class BorderStyle : uint8_t {
  None, Thin, Medium, Dashed, Dotted, Thick, Double, Hair,
  MediumDashed, DashDot, MediumDashDot, DashDotDot, MediumDashDotDot, SlantDashDot
};

// Same order as the pattern names of the file format (none, solid, mediumGray...).
enum class FillPattern : uint8_t {
  None, Solid, MediumGray, DarkGray, LightGray, DarkHorizontal, DarkVertical,
  DarkDown, DarkUp, DarkGrid, DarkTrellis, LightHorizontal, LightVertical,
  LightDown, LightUp, LightGrid, LightTrellis, Gray125, Gray0625
};

enum class HAlign : uint8_t { General, Left, Center, Right, Fill, Justify, CenterContinuous, Distributed };
enum class VAlign : uint8_t { Bottom, Top, Center, Justify, Distributed };
enum class Underline : uint8_t { None, Single, Double, SingleAccounting, DoubleAccounting };

struct BorderSide {
  BorderStyle style = BorderStyle::None;
  Rgb color = kAutoColor;
  bool operator==(const BorderSide&) const = default;
};

// One colour of a gradient fill, at a position from 0 (start) to 1 (end).
struct GradientStop {
  double position = 0;
  Rgb color = kAutoColor;
  bool operator==(const GradientStop&) const = default;
};

// A gradient fill: linear at an angle, or a path growing from an inner rectangle of the cell
// (given as fractions of the cell from each edge) outwards. No stops: the cell has none.
struct Gradient {
  enum class Type : uint8_t { Linear, Path };
  Type type = Type::Linear;
  double degree = 0;                           // Linear: the angle, clockwise from left to right
  double left = 0, right = 0, top = 0, bottom = 0;  // Path: the inner rectangle
  std::vector<GradientStop> stops;
  bool empty() const { return stops.empty(); }
  bool operator==(const Gradient&) const = default;
};

struct Style {
  std::string numFmt = "General";  // the format code itself, built-in ids already expanded
  std::string fontName = "Calibri";
  double fontSize = 11;
  bool bold = false, italic = false, strike = false;
  Underline underline = Underline::None;
  Rgb fontColor = kAutoColor;

  FillPattern pattern = FillPattern::None;
  Rgb fillFg = kAutoColor;  // the pattern colour; the whole cell colour for a solid fill
  Rgb fillBg = kAutoColor;
  Gradient gradient;        // when it has stops, the fill is this gradient and pattern is None


  BorderSide left, right, top, bottom;
  BorderSide diagonal;      // drawn from corner to corner as the two flags say
  bool diagonalUp = false, diagonalDown = false;

  HAlign hAlign = HAlign::General;
  VAlign vAlign = VAlign::Bottom;
  bool wrap = false, shrink = false;
  uint8_t indent = 0;
  int16_t rotation = 0;  // 0..180 as stored, 255 for vertical text

  bool locked = true, hidden = false;

  bool operator==(const Style&) const = default;
};

struct StyleHash {
  size_t operator()(const Style& s) const noexcept;
};

}  // namespace corvane
