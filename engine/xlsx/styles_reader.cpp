#include "engine/xlsx/styles_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <string>

#include "engine/containers/ooxml_theme.h"
#include "engine/containers/ooxml_xml.h"
#include "engine/containers/xml_reader.h"
#include "engine/core/stylesheet.h"

namespace corvane {

namespace {

using ooxml::Attrs;
using ooxml::ToDouble;
using ooxml::ToInt;
using ooxml::ToRgb;
using ooxml::Trim;

// ---------------------------------------------------------------------------
// Colours

RawColor ReadColor(const Attrs& a) {
  RawColor c;
  if (auto t = a.get("tint")) {
    double v = 0;
    if (ToDouble(*t, v)) c.tint = std::clamp(v, -1.0, 1.0);
  }
  Rgb rgb = 0;
  int64_t n = 0;
  if (a.flag("auto", false)) {
    c.kind = RawColor::Auto;
  } else if (auto rgbText = a.get("rgb"); rgbText && ToRgb(*rgbText, rgb)) {
    c.kind = RawColor::Rgb;
    c.value = rgb;
  } else if (auto theme = a.get("theme"); theme && ToInt(*theme, n) && n >= 0) {
    c.kind = RawColor::Theme;
    c.value = n;
  } else if (auto indexed = a.get("indexed"); indexed && ToInt(*indexed, n) && n >= 0) {
    c.kind = RawColor::Indexed;
    c.value = n;
  }
  return c;
}

// ---------------------------------------------------------------------------
// styles.xml

template <typename E, size_t N>
E Lookup(std::string_view v, const std::array<std::string_view, N>& names, E dflt) {
  for (size_t i = 0; i < N; ++i)
    if (names[i] == v) return static_cast<E>(i);
  return dflt;
}

FillPattern ToPattern(std::string_view v) {
  static constexpr std::array<std::string_view, 19> names = {
      "none", "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal", "darkVertical",
      "darkDown", "darkUp", "darkGrid", "darkTrellis", "lightHorizontal", "lightVertical",
      "lightDown", "lightUp", "lightGrid", "lightTrellis", "gray125", "gray0625"};
  return Lookup(Trim(v), names, FillPattern::None);
}

BorderStyle ToBorderStyle(std::string_view v) {
  static constexpr std::array<std::string_view, 14> names = {
      "none", "thin", "medium", "dashed", "dotted", "thick", "double", "hair",
      "mediumDashed", "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot",
      "slantDashDot"};
  return Lookup(Trim(v), names, BorderStyle::None);
}

HAlign ToHAlign(std::string_view v) {
  static constexpr std::array<std::string_view, 8> names = {
      "general", "left", "center", "right", "fill", "justify", "centerContinuous", "distributed"};
  return Lookup(Trim(v), names, HAlign::General);
}

VAlign ToVAlign(std::string_view v) {
  static constexpr std::array<std::string_view, 5> names = {"bottom", "top", "center", "justify",
                                                            "distributed"};
  return Lookup(Trim(v), names, VAlign::Bottom);
}

Underline ToUnderline(std::string_view v) {
  static constexpr std::array<std::string_view, 5> names = {
      "none", "single", "double", "singleAccounting", "doubleAccounting"};
  return Lookup(Trim(v), names, Underline::Single);
}

// Which element the parser is in. Only the paths below are read; any other
// element is skipped with everything inside it (dxfs, cellStyleXfs, extLst...).
enum class Ctx : uint8_t {
  Skip, Doc, Root, NumFmts, Fonts, Font, Fills, Fill, PatternFill, GradientFill, Stop,
  Borders, Border, Side, CellXfs, Xf, Colors, IndexedColors, Leaf
};

enum class SideOf : uint8_t { Left, Right, Top, Bottom, Diagonal };

// Fills the lists of its Stylesheet in file order; palette holds <indexedColors>, when present.
class StylesReader : public XmlHandler, public Stylesheet {
 public:
  StylesReader() { stack_.push_back({Ctx::Doc, Mc::None}); }

  void start(std::string_view ln, const char** atts) override {
    if (skip_) {
      ++skip_;
      return;
    }
    const Frame parent = stack_.back();

    // Markup compatibility: of each AlternateContent one branch is read. A Choice
    // is taken for a start; a Fallback after it replaces what the Choice added,
    // since a Choice needs extensions this reader does not know.
    if (parent.mc == Mc::Alternate) {
      Alternate& alt = alts_.back();
      if (ln == "Choice" && alt.taken == Branch::None) {
        alt.snapshot = Save();
        alt.taken = Branch::Choice;
        stack_.push_back({parent.ctx, Mc::Branch});
      } else if (ln == "Fallback" && alt.taken != Branch::Fallback) {
        if (alt.taken == Branch::Choice) Restore(alt.snapshot);
        alt.taken = Branch::Fallback;
        stack_.push_back({parent.ctx, Mc::Branch});
      } else {
        skip_ = 1;
      }
      return;
    }
    if (ln == "AlternateContent") {
      alts_.emplace_back();
      stack_.push_back({parent.ctx, Mc::Alternate});
      return;
    }

    Ctx ctx = Open(parent.ctx, ln, Attrs(atts));
    if (ctx == Ctx::Skip) {
      skip_ = 1;
      return;
    }
    stack_.push_back({ctx, Mc::None});
  }

  void end(std::string_view) override {
    if (skip_) {
      --skip_;
      return;
    }
    Frame f = stack_.back();
    stack_.pop_back();
    if (f.mc == Mc::Alternate) {
      alts_.pop_back();
      return;
    }
    if (f.mc == Mc::None && f.ctx == Ctx::Side && !borders.empty()) CloseSide();
  }

 private:
  enum class Mc : uint8_t { None, Alternate, Branch };
  enum class Branch : uint8_t { None, Choice, Fallback };
  struct Frame {
    Ctx ctx;
    Mc mc;
  };

  // Parser state besides the lists, kept together so that a Choice can be undone.
  struct Cursor {
    RawSide side;
    SideOf sideOf = SideOf::Left;
    bool paletteSeen = false;
  };

  struct Snapshot {
    size_t numFmts = 0, fonts = 0, fills = 0, borders = 0, xfs = 0, palette = 0;
    std::optional<RawFont> lastFont;
    std::optional<RawFill> lastFill;
    std::optional<RawBorder> lastBorder;
    std::optional<RawXf> lastXf;
    Cursor cursor;
  };

  struct Alternate {
    Branch taken = Branch::None;
    Snapshot snapshot;
  };

  template <typename T>
  static std::optional<T> Last(const std::vector<T>& v) {
    return v.empty() ? std::nullopt : std::optional<T>(v.back());
  }
  template <typename T>
  static void Rewind(std::vector<T>& v, size_t n, const std::optional<T>& last) {
    if (v.size() > n) v.resize(n);
    if (last && !v.empty()) v.back() = *last;
  }

  // Lists only grow between Save and Restore, and only their last entry is ever
  // changed in place, so sizes plus the last entries are enough.
  Snapshot Save() const {
    return {numFmts.size(), fonts.size(), fills.size(), borders.size(), xfs.size(),
            palette.size(), Last(fonts), Last(fills), Last(borders), Last(xfs), cursor_};
  }

  void Restore(const Snapshot& s) {
    if (numFmts.size() > s.numFmts) numFmts.resize(s.numFmts);
    if (palette.size() > s.palette) palette.resize(s.palette);
    Rewind(fonts, s.fonts, s.lastFont);
    Rewind(fills, s.fills, s.lastFill);
    Rewind(borders, s.borders, s.lastBorder);
    Rewind(xfs, s.xfs, s.lastXf);
    cursor_ = s.cursor;
  }

  // Handles the start of element `ln` inside `parent`; returns its context,
  // or Ctx::Skip when it is to be passed over.
  Ctx Open(Ctx parent, std::string_view ln, const Attrs& a) {
    switch (parent) {
      case Ctx::Doc:
        return Ctx::Root;
      case Ctx::Root:
        if (ln == "numFmts") return Ctx::NumFmts;
        if (ln == "fonts") return Ctx::Fonts;
        if (ln == "fills") return Ctx::Fills;
        if (ln == "borders") return Ctx::Borders;
        if (ln == "cellXfs") return Ctx::CellXfs;
        if (ln == "colors") return Ctx::Colors;
        break;
      case Ctx::NumFmts:
        if (ln == "numFmt") {
          int64_t id = a.integer("numFmtId", -1);
          auto code = a.get("formatCode");
          if (id >= 0 && id <= INT32_MAX && code) numFmts.emplace_back(id, std::string(*code));
          return Ctx::Leaf;
        }
        break;
      case Ctx::Fonts:
        if (ln == "font") {
          fonts.emplace_back();
          return Ctx::Font;
        }
        break;
      case Ctx::Font:
        ReadFontProperty(fonts.back(), ln, a);
        return Ctx::Leaf;
      case Ctx::Fills:
        if (ln == "fill") {
          fills.emplace_back();
          return Ctx::Fill;
        }
        break;
      case Ctx::Fill:
        if (ln == "patternFill") {
          if (auto t = a.get("patternType")) fills.back().pattern = ToPattern(*t);
          return Ctx::PatternFill;
        }
        if (ln == "gradientFill") {
          ReadGradient(fills.back(), a);
          return Ctx::GradientFill;
        }
        break;
      case Ctx::PatternFill:
        if (ln == "fgColor") fills.back().fg = ReadColor(a);
        else if (ln == "bgColor") fills.back().bg = ReadColor(a);
        return Ctx::Leaf;
      case Ctx::GradientFill:
        if (ln == "stop" && fills.back().stops.size() < kMaxStops) {
          double position = 0;
          if (auto v = a.get("position"); v && ToDouble(*v, position)) position = std::clamp(position, 0.0, 1.0);
          fills.back().stops.push_back({position, RawColor{}});
          return Ctx::Stop;
        }
        break;
      case Ctx::Stop:
        if (ln == "color") fills.back().stops.back().color = ReadColor(a);
        return Ctx::Leaf;
      case Ctx::Borders:
        if (ln == "border") {
          RawBorder& b = borders.emplace_back();
          b.diagonalUp = a.flag("diagonalUp", false);
          b.diagonalDown = a.flag("diagonalDown", false);
          return Ctx::Border;
        }
        break;
      case Ctx::Border: {
        std::optional<SideOf> side;
        if (ln == "left" || ln == "start") side = SideOf::Left;
        else if (ln == "right" || ln == "end") side = SideOf::Right;
        else if (ln == "top") side = SideOf::Top;
        else if (ln == "bottom") side = SideOf::Bottom;
        else if (ln == "diagonal") side = SideOf::Diagonal;
        if (!side) break;
        cursor_.sideOf = *side;
        cursor_.side = RawSide{};
        if (auto s = a.get("style")) cursor_.side.style = ToBorderStyle(*s);
        return Ctx::Side;
      }
      case Ctx::Side:
        if (ln == "color") cursor_.side.color = ReadColor(a);
        return Ctx::Leaf;
      case Ctx::CellXfs:
        if (ln == "xf") {
          RawXf& xf = xfs.emplace_back();
          xf.numFmt = a.integer("numFmtId", 0);
          xf.font = a.integer("fontId", 0);
          xf.fill = a.integer("fillId", 0);
          xf.border = a.integer("borderId", 0);
          return Ctx::Xf;
        }
        break;
      case Ctx::Xf:
        if (ln == "alignment") ReadAlignment(xfs.back(), a);
        else if (ln == "protection") {
          xfs.back().locked = a.flag("locked", true);
          xfs.back().hidden = a.flag("hidden", false);
        }
        return Ctx::Leaf;
      case Ctx::Colors:
        // Only the first palette counts; a second one would be a broken file.
        if (ln == "indexedColors" && !cursor_.paletteSeen) {
          cursor_.paletteSeen = true;
          return Ctx::IndexedColors;
        }
        break;
      case Ctx::IndexedColors:
        if (ln == "rgbColor" && palette.size() < kPaletteSize) {
          Rgb v = 0;
          auto s = a.get("rgb");
          palette.push_back(s && ToRgb(*s, v) ? std::optional<Rgb>(v) : std::nullopt);
        }
        return Ctx::Leaf;
      case Ctx::Skip:
      case Ctx::Leaf:
        break;
    }
    return Ctx::Skip;
  }

  // <gradientFill type="path" left=".." ...> or <gradientFill degree="90">.
  static void ReadGradient(RawFill& f, const Attrs& a) {
    f.gradient = true;
    f.stops.clear();
    auto v = a.get("type");
    f.type = v && Trim(*v) == "path" ? Gradient::Type::Path : Gradient::Type::Linear;
    auto number = [&](std::string_view name, double& out) {
      double x = 0;
      if (auto t = a.get(name); t && ToDouble(*t, x)) out = x;
    };
    number("degree", f.degree);
    number("left", f.left);
    number("right", f.right);
    number("top", f.top);
    number("bottom", f.bottom);
    for (double* edge : {&f.left, &f.right, &f.top, &f.bottom}) *edge = std::clamp(*edge, 0.0, 1.0);
  }

  static void ReadFontProperty(RawFont& f, std::string_view ln, const Attrs& a) {
    if (ln == "b") f.bold = a.flag("val", true);
    else if (ln == "i") f.italic = a.flag("val", true);
    else if (ln == "strike") f.strike = a.flag("val", true);
    else if (ln == "u") {
      auto v = a.get("val");
      f.underline = v ? ToUnderline(*v) : Underline::Single;
    } else if (ln == "sz") {
      double v = 0;
      if (auto s = a.get("val"); s && ToDouble(*s, v) && v > 0) f.size = std::clamp(v, 1.0, 409.0);
    } else if (ln == "name" || ln == "rFont") {
      if (auto s = a.get("val")) f.name = std::string(*s);
    } else if (ln == "color") {
      f.color = ReadColor(a);
    }
  }

  static void ReadAlignment(RawXf& xf, const Attrs& a) {
    if (auto v = a.get("horizontal")) xf.hAlign = ToHAlign(*v);
    if (auto v = a.get("vertical")) xf.vAlign = ToVAlign(*v);
    xf.wrap = a.flag("wrapText", false);
    xf.shrink = a.flag("shrinkToFit", false);
    xf.indent = static_cast<uint8_t>(std::clamp<int64_t>(a.integer("indent", 0), 0, kMaxIndent));
    int64_t rot = a.integer("textRotation", 0);
    if ((rot >= 0 && rot <= 180) || rot == 255)
      xf.rotation = static_cast<int16_t>(rot);
    else if (rot >= -90 && rot < 0)
      xf.rotation = static_cast<int16_t>(90 - rot);  // downward angles written as negatives
    else
      xf.rotation = 0;
  }

  // <start>/<end> and <left>/<right> name the same sides; an empty one must not
  // wipe out what the other set.
  void CloseSide() {
    RawBorder& b = borders.back();
    RawSide* target = nullptr;
    switch (cursor_.sideOf) {
      case SideOf::Left: target = &b.left; break;
      case SideOf::Right: target = &b.right; break;
      case SideOf::Top: target = &b.top; break;
      case SideOf::Bottom: target = &b.bottom; break;
      case SideOf::Diagonal: target = &b.diagonal; break;
    }
    if (cursor_.side.style != BorderStyle::None || target->style == BorderStyle::None)
      *target = cursor_.side;
  }

  std::vector<Frame> stack_;
  std::vector<Alternate> alts_;
  Cursor cursor_;
  size_t skip_ = 0;
};

}  // namespace

std::vector<Style> ReadStyles(std::string_view stylesXml, std::string_view themeXml, const std::string& stylesWhat,
                              const std::string& themeWhat) {
  if (stylesXml.empty()) return {Style{}};
  Theme theme = ReadTheme(themeXml, themeWhat);
  StylesReader in;
  XmlParser::Parse(in, stylesXml, stylesWhat);
  return ResolveStyles(in, theme.colors);
}

}  // namespace corvane
