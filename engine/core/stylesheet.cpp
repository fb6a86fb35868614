#include "engine/core/stylesheet.h"

#include <array>
#include <climits>
#include <string_view>
#include <unordered_map>

#include "engine/core/builtin_formats.h"

namespace corvane {

namespace {

class ColorResolver {
 public:
  ColorResolver(const ThemeColors& theme, const std::vector<std::optional<Rgb>>& custom)
      : theme_(theme), palette_() {
    for (size_t i = 0; i < palette_.size(); ++i)
      palette_[i] = i < custom.size() && custom[i] ? *custom[i] : DefaultPaletteColor(static_cast<int>(i));
  }

  Rgb operator()(const RawColor& c) const {
    Rgb base = kAutoColor;
    switch (c.kind) {
      case RawColor::None:
      case RawColor::Auto:
        return kAutoColor;
      case RawColor::Rgb:
        base = static_cast<Rgb>(c.value);
        break;
      case RawColor::Theme:
        base = ThemeColor(theme_, c.value);
        break;
      case RawColor::Indexed:
        // 64 and 65 are the system foreground and background: left to the application.
        if (c.value >= kPaletteSize) return kAutoColor;
        base = palette_[static_cast<size_t>(c.value)];
        break;
    }
    return Tinted(base, c.tint);
  }

 private:
  const ThemeColors& theme_;
  std::array<Rgb, kPaletteSize> palette_;
};

struct FontOut {
  std::string name = "Calibri";
  double size = 11;
  bool bold = false, italic = false, strike = false;
  Underline underline = Underline::None;
  Rgb color = kAutoColor;
};

struct FillOut {
  FillPattern pattern = FillPattern::None;
  Rgb fg = kAutoColor, bg = kAutoColor;
  Gradient gradient;
};

struct BorderOut {
  BorderSide left, right, top, bottom, diagonal;
  bool diagonalUp = false, diagonalDown = false;
};

template <typename T>
const T& At(const std::vector<T>& v, int64_t i, const T& dflt) {
  if (i >= 0 && static_cast<uint64_t>(i) < v.size()) return v[static_cast<size_t>(i)];
  return v.empty() ? dflt : v.front();
}

}  // namespace

std::vector<Style> ResolveStyles(const Stylesheet& in, const ThemeColors& theme) {
  ColorResolver color(theme, in.palette);

  std::vector<FontOut> fonts;
  fonts.reserve(in.fonts.size());
  for (const RawFont& f : in.fonts) {
    FontOut& o = fonts.emplace_back();
    if (!f.name.empty()) o.name = f.name;
    o.size = f.size;
    o.bold = f.bold;
    o.italic = f.italic;
    o.strike = f.strike;
    o.underline = f.underline;
    o.color = color(f.color);
  }

  std::vector<FillOut> fills;
  fills.reserve(in.fills.size());
  for (const RawFill& f : in.fills) {
    FillOut& o = fills.emplace_back();
    if (f.gradient) {
      // A gradient is the fill: no pattern beside it. Without stops it shows nothing.
      Gradient& g = o.gradient;
      g.type = f.type;
      if (g.type == Gradient::Type::Linear) {
        g.degree = f.degree;
      } else {
        g.left = f.left;
        g.right = f.right;
        g.top = f.top;
        g.bottom = f.bottom;
      }
      for (const RawStop& st : f.stops) g.stops.push_back({st.position, color(st.color)});
      continue;
    }
    o.pattern = f.pattern;
    // Colours of an empty fill show nowhere; dropping them lets equal-looking styles compare equal.
    if (f.pattern != FillPattern::None) {
      o.fg = color(f.fg);
      o.bg = color(f.bg);
    }
  }

  auto side = [&](const RawSide& s) {
    BorderSide o;
    o.style = s.style;
    if (s.style != BorderStyle::None) o.color = color(s.color);
    return o;
  };
  std::vector<BorderOut> borders;
  borders.reserve(in.borders.size());
  for (const RawBorder& b : in.borders) {
    BorderOut& o = borders.emplace_back();
    o.left = side(b.left);
    o.right = side(b.right);
    o.top = side(b.top);
    o.bottom = side(b.bottom);
    // A diagonal line shows only when a flag says which way it runs.
    if ((b.diagonalUp || b.diagonalDown) && b.diagonal.style != BorderStyle::None) {
      o.diagonal = side(b.diagonal);
      o.diagonalUp = b.diagonalUp;
      o.diagonalDown = b.diagonalDown;
    }
  }

  std::unordered_map<int64_t, std::string_view> custom;
  custom.reserve(in.numFmts.size());
  for (const auto& [id, code] : in.numFmts) custom[id] = code;
  auto numFmt = [&](int64_t id) -> std::string_view {
    if (auto it = custom.find(id); it != custom.end()) return it->second;
    return id >= 0 && id <= INT_MAX ? BuiltinNumFmt(static_cast<int>(id)) : "General";
  };

  static const std::vector<RawXf> kDefaultXfs(1);  // every workbook has a default format
  const std::vector<RawXf>& xfs = in.xfs.empty() ? kDefaultXfs : in.xfs;
  const FontOut defaultFont;
  const FillOut defaultFill;
  const BorderOut defaultBorder;

  std::vector<Style> out;
  out.reserve(xfs.size());
  for (const RawXf& xf : xfs) {
    Style& s = out.emplace_back();
    s.numFmt = numFmt(xf.numFmt);

    const FontOut& f = At(fonts, xf.font, defaultFont);
    s.fontName = f.name;
    s.fontSize = f.size;
    s.bold = f.bold;
    s.italic = f.italic;
    s.strike = f.strike;
    s.underline = f.underline;
    s.fontColor = f.color;

    const FillOut& fill = At(fills, xf.fill, defaultFill);
    s.pattern = fill.pattern;
    s.fillFg = fill.fg;
    s.fillBg = fill.bg;
    s.gradient = fill.gradient;

    const BorderOut& b = At(borders, xf.border, defaultBorder);
    s.left = b.left;
    s.right = b.right;
    s.top = b.top;
    s.bottom = b.bottom;
    s.diagonal = b.diagonal;
    s.diagonalUp = b.diagonalUp;
    s.diagonalDown = b.diagonalDown;

    s.hAlign = xf.hAlign;
    s.vAlign = xf.vAlign;
    s.wrap = xf.wrap;
    s.shrink = xf.shrink;
    s.indent = xf.indent;
    s.rotation = xf.rotation;
    s.locked = xf.locked;
    s.hidden = xf.hidden;
  }
  return out;
}

}  // namespace corvane
