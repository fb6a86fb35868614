#include "engine/xlsx/styles_reader.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include "engine/core/ascii.h"
#include "engine/core/error.h"
#include "engine/core/number_text.h"

namespace corvane {

namespace {

// ---------------------------------------------------------------------------
// Attribute values

std::string_view Trim(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// A number attribute, read like a cell's number text.
bool ToDouble(std::string_view s, double& out) { return ParseNumberText(s, out); }

// Whole numbers; "3.0" is taken too, since a few writers put ids that way.
bool ToInt(std::string_view s, int64_t& out) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  int64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc() && end == s.data() + s.size()) {
    out = v;
    return true;
  }
  double d = 0;
  if (!ToDouble(s, d) || d != std::floor(d) || std::fabs(d) > 9.0e15) return false;
  out = static_cast<int64_t>(d);
  return true;
}

// "1"/"true" and "0"/"false"; anything else leaves the default.
bool ToBool(std::string_view s, bool dflt) {
  s = Trim(s);
  if (s == "1" || EqualsNoCase(s, "true")) return true;
  if (s == "0" || EqualsNoCase(s, "false")) return false;
  return dflt;
}

// "FFRRGGBB" (alpha ignored) or "RRGGBB"; a leading '#' is tolerated.
bool ToRgb(std::string_view s, Rgb& out) {
  s = Trim(s);
  if (!s.empty() && s.front() == '#') s.remove_prefix(1);
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  out = v & 0xFFFFFFu;
  return true;
}

std::string_view LocalName(const char* qname) {
  const char* colon = std::strrchr(qname, ':');
  return colon ? std::string_view(colon + 1) : std::string_view(qname);
}

// Attributes as expat hands them over: name, value, name, value, ..., null.
// Looked up by local name so that prefixed attributes match as well; a plain
// one wins over an extension's attribute of the same local name.
class Attrs {
 public:
  explicit Attrs(const char** atts) : atts_(atts) {}
  std::optional<std::string_view> get(std::string_view local) const {
    std::optional<std::string_view> prefixed;
    for (const char** a = atts_; a && a[0]; a += 2) {
      if (local == a[0]) return std::string_view(a[1]);
      if (!prefixed && LocalName(a[0]) == local) prefixed = std::string_view(a[1]);
    }
    return prefixed;
  }
  bool flag(std::string_view local, bool dflt) const {
    auto v = get(local);
    return v ? ToBool(*v, dflt) : dflt;
  }
  int64_t integer(std::string_view local, int64_t dflt) const {
    auto v = get(local);
    int64_t i = 0;
    return v && ToInt(*v, i) ? i : dflt;
  }

 private:
  const char** atts_;
};

// ---------------------------------------------------------------------------
// Expat driver shared by the styles and the theme reader

class XmlSink {
 public:
  virtual ~XmlSink() = default;
  virtual void start(const char* name, const char** atts) = 0;
  virtual void end() = 0;

  XML_Parser parser = nullptr;
  bool entities = false;
  std::exception_ptr error;
};

void XMLCALL OnStart(void* ud, const XML_Char* name, const XML_Char** atts) {
  auto* sink = static_cast<XmlSink*>(ud);
  try {
    sink->start(name, atts);
  } catch (...) {
    sink->error = std::current_exception();
    XML_StopParser(sink->parser, XML_FALSE);
  }
}

void XMLCALL OnEnd(void* ud, const XML_Char*) {
  auto* sink = static_cast<XmlSink*>(ud);
  try {
    sink->end();
  } catch (...) {
    sink->error = std::current_exception();
    XML_StopParser(sink->parser, XML_FALSE);
  }
}

// No part of a workbook needs entity declarations; refusing them outright
// keeps expansion bombs and external references out.
void XMLCALL OnEntityDecl(void* ud, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
  auto* sink = static_cast<XmlSink*>(ud);
  sink->entities = true;
  XML_StopParser(sink->parser, XML_FALSE);
}

void RunExpat(std::string_view text, const char* part, XmlSink& sink) {
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> holder(XML_ParserCreate(nullptr),
                                                                  XML_ParserFree);
  XML_Parser p = holder.get();
  if (!p) throw std::bad_alloc();
  sink.parser = p;
  XML_SetUserData(p, &sink);
  XML_SetElementHandler(p, OnStart, OnEnd);
  XML_SetEntityDeclHandler(p, OnEntityDecl);
  XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);

  constexpr size_t kChunk = size_t{1} << 30;  // XML_Parse takes an int length
  size_t pos = 0;
  do {
    size_t len = std::min(kChunk, text.size() - pos);
    bool last = pos + len == text.size();
    if (XML_Parse(p, text.data() + pos, static_cast<int>(len), last ? XML_TRUE : XML_FALSE) !=
        XML_STATUS_OK) {
      if (sink.error) std::rethrow_exception(sink.error);
      if (sink.entities)
        throw AutomationError(std::string("The workbook part ") + part +
                              " uses XML entities, which are not allowed.");
      throw AutomationError(std::string("The workbook part ") + part +
                            " is not well-formed XML: " + XML_ErrorString(XML_GetErrorCode(p)) +
                            " at line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                            ", column " + std::to_string(XML_GetCurrentColumnNumber(p)) + ".");
    }
    pos += len;
  } while (pos < text.size());
}

// ---------------------------------------------------------------------------
// Colours

// A colour as the file gives it, resolved once the palette and theme are known
// (the <colors> element comes after the cellXfs that use it).
struct RawColor {
  enum Kind : uint8_t { None, Auto, Rgb, Theme, Indexed };
  Kind kind = None;
  int64_t value = 0;
  double tint = 0;
};

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
  } else if (auto v = a.get("rgb"); v && ToRgb(*v, rgb)) {
    c.kind = RawColor::Rgb;
    c.value = rgb;
  } else if (auto v = a.get("theme"); v && ToInt(*v, n) && n >= 0) {
    c.kind = RawColor::Theme;
    c.value = n;
  } else if (auto v = a.get("indexed"); v && ToInt(*v, n) && n >= 0) {
    c.kind = RawColor::Indexed;
    c.value = n;
  }
  return c;
}

constexpr int kPaletteSize = 64;

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

// Theme slots in the order of <a:clrScheme>.
enum ThemeSlot { kDk1, kLt1, kDk2, kLt2, kAccent1, kAccent2, kAccent3, kAccent4, kAccent5,
                 kAccent6, kHlink, kFolHlink, kThemeSlots };
using ThemeColors = std::array<Rgb, kThemeSlots>;

// The Office theme (2007-2010, the one libxlsxwriter writes too), for workbooks
// that have no theme part.
constexpr ThemeColors kDefaultTheme = {0x000000, 0xFFFFFF, 0x1F497D, 0xEEECE1, 0x4F81BD, 0xC0504D,
                                       0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

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

class ColorResolver {
 public:
  ColorResolver(const ThemeColors& theme, const std::vector<std::optional<Rgb>>& custom)
      : theme_(theme), palette_(kDefaultPalette) {
    for (size_t i = 0; i < custom.size() && i < palette_.size(); ++i)
      if (custom[i]) palette_[i] = *custom[i];
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
        if (c.value >= kThemeSlots) return kAutoColor;
        base = theme_[kThemeIndexToSlot[c.value]];
        break;
      case RawColor::Indexed:
        // 64 and 65 are the system foreground and background: left to the application.
        if (c.value >= kPaletteSize) return kAutoColor;
        base = palette_[c.value];
        break;
    }
    return ApplyTint(base, c.tint);
  }

 private:
  const ThemeColors& theme_;
  std::array<Rgb, kPaletteSize> palette_;
};

// ---------------------------------------------------------------------------
// Theme part: only the colour scheme is of interest.

class ThemeReader : public XmlSink {
 public:
  ThemeColors colors = kDefaultTheme;

  void start(const char* name, const char** atts) override {
    std::string_view ln = LocalName(name);
    ++depth_;
    if (depth_ == 2 && ln == "themeElements") inElements_ = depth_;
    else if (inElements_ && depth_ == inElements_ + 1 && ln == "clrScheme" && !schemeDone_)
      inScheme_ = depth_;
    else if (inScheme_ && depth_ == inScheme_ + 1) slot_ = SlotOf(ln);
    else if (inScheme_ && slot_ >= 0 && depth_ == inScheme_ + 2) ReadSchemeColor(ln, Attrs(atts));
  }

  void end() override {
    if (inScheme_ && depth_ == inScheme_ + 1) slot_ = -1;
    if (depth_ == inScheme_) {
      inScheme_ = 0;
      schemeDone_ = true;  // later schemes (extraClrSchemeLst) are alternatives, not the theme
    }
    if (depth_ == inElements_) inElements_ = 0;
    --depth_;
  }

 private:
  static int SlotOf(std::string_view n) {
    static constexpr std::array<std::string_view, kThemeSlots> names = {
        "dk1", "lt1", "dk2", "lt2", "accent1", "accent2", "accent3", "accent4",
        "accent5", "accent6", "hlink", "folHlink"};
    for (int i = 0; i < kThemeSlots; ++i)
      if (names[i] == n) return i;
    return -1;
  }

  void ReadSchemeColor(std::string_view ln, const Attrs& a) {
    Rgb v = 0;
    if (ln == "srgbClr") {
      if (auto s = a.get("val"); s && ToRgb(*s, v)) colors[slot_] = v;
    } else if (ln == "sysClr") {
      if (auto s = a.get("lastClr"); s && ToRgb(*s, v))
        colors[slot_] = v;
      else if (auto s2 = a.get("val"))
        colors[slot_] = *s2 == "window" ? 0xFFFFFF : *s2 == "windowText" ? 0x000000 : colors[slot_];
    }
  }

  int depth_ = 0, inElements_ = 0, inScheme_ = 0, slot_ = -1;
  bool schemeDone_ = false;
};

// ---------------------------------------------------------------------------
// styles.xml

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

constexpr int kMaxIndent = 250;  // Excel's own limit

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

// A gradient's stops hold at most this many colours (Excel's own limit is 256).
constexpr size_t kMaxStops = 256;

class StylesReader : public XmlSink {
 public:
  std::vector<std::pair<int64_t, std::string>> numFmts;  // in file order; a later one wins
  std::vector<RawFont> fonts;
  std::vector<RawFill> fills;
  std::vector<RawBorder> borders;
  std::vector<RawXf> xfs;
  std::vector<std::optional<Rgb>> palette;  // <indexedColors>, when present

  StylesReader() { stack_.push_back({Ctx::Doc, Mc::None}); }

  void start(const char* name, const char** atts) override {
    if (skip_) {
      ++skip_;
      return;
    }
    std::string_view ln = LocalName(name);
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

  void end() override {
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

std::vector<Style> ReadStyles(std::string_view stylesXml, std::string_view themeXml) {
  if (stylesXml.empty()) return {Style{}};

  ThemeReader theme;
  if (!themeXml.empty()) RunExpat(themeXml, "xl/theme/theme1.xml", theme);
  StylesReader in;
  RunExpat(stylesXml, "xl/styles.xml", in);

  ColorResolver color(theme.colors, in.palette);

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

  if (in.xfs.empty()) in.xfs.emplace_back();  // every workbook has a default format
  const FontOut defaultFont;
  const FillOut defaultFill;
  const BorderOut defaultBorder;

  std::vector<Style> out;
  out.reserve(in.xfs.size());
  for (const RawXf& xf : in.xfs) {
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

Rgb OfficeThemeColor(int index) {
  return index >= 0 && index < kThemeSlots ? kDefaultTheme[static_cast<size_t>(kThemeIndexToSlot[static_cast<size_t>(index)])]
                                           : kAutoColor;
}

Rgb Tinted(Rgb color, double tint) { return ApplyTint(color, std::clamp(tint, -1.0, 1.0)); }

Rgb DefaultPaletteColor(int index) {
  return index >= 0 && index < kPaletteSize ? kDefaultPalette[static_cast<size_t>(index)] : kAutoColor;
}

bool IsDateFormat(std::string_view code) {
  // The h, m and s codes in order, so that each m can be told apart afterwards:
  // it is minutes right after an hour or right before a second, a month otherwise.
  // 'M' marks elapsed minutes ([mm]), '|' a section boundary.
  struct Tok {
    char kind;
    size_t len;
  };
  std::vector<Tok> toks;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  auto startsNoCase = [&](size_t at, std::string_view word) {
    return at + word.size() <= code.size() && EqualsNoCase(code.substr(at, word.size()), word);
  };

  size_t i = 0;
  const size_t n = code.size();
  while (i < n) {
    char c = lower(code[i]);
    switch (c) {
      case '"': {
        size_t close = code.find('"', i + 1);
        i = close == std::string_view::npos ? n : close + 1;
        break;
      }
      case '\\':
      case '!':
      case '_':
      case '*':
        i += 2;  // the next character is literal text, padding or fill
        break;
      case '[': {
        size_t close = code.find(']', i + 1);
        if (close == std::string_view::npos) return false;
        std::string_view inner = code.substr(i + 1, close - i - 1);
        i = close + 1;
        if (inner.empty()) break;
        char k = lower(inner[0]);
        if ((k == 'h' || k == 'm' || k == 's') &&
            std::all_of(inner.begin(), inner.end(), [&](char x) { return lower(x) == k; }))
          toks.push_back({k == 'm' ? 'M' : k, inner.size()});
        break;  // colours, conditions, locales: no date codes in there
      }
      case ';':
        toks.push_back({'|', 1});
        ++i;
        break;
      case 'y':
      case 'd':
        return true;
      case 'a':
        if (startsNoCase(i, "am/pm")) i += 5;
        else if (startsNoCase(i, "a/p")) i += 3;
        else ++i;
        break;
      case 'h':
      case 'm':
      case 's': {
        size_t j = i;
        while (j < n && lower(code[j]) == c) ++j;
        toks.push_back({c, j - i});
        i = j;
        break;
      }
      default:
        ++i;
    }
  }

  for (size_t k = 0; k < toks.size(); ++k) {
    if (toks[k].kind != 'm') continue;
    if (toks[k].len >= 3) return true;  // mmm, mmmm, mmmmm: month names
    bool afterHour = k > 0 && toks[k - 1].kind == 'h';
    bool beforeSecond = k + 1 < toks.size() && toks[k + 1].kind == 's';
    if (!afterHour && !beforeSecond) return true;
  }
  return false;
}

}  // namespace corvane
