// Cell formats as the user sees them: every colour already resolved to RGB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

  BorderSide left, right, top, bottom;

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
