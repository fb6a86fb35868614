#include "engine/xlsb/xlsb_styles.h"

#include <algorithm>
#include <cmath>

#include "engine/containers/ooxml_theme.h"
#include "engine/containers/xlsb_records.h"
#include "engine/containers/zip_package.h"
#include "engine/core/error.h"
#include "engine/core/stylesheet.h"

namespace corvane::xlsb {

namespace {

// Record types of the styles part.
enum : uint32_t {
  kFont = 43, kFmt = 44, kFill = 45, kBorder = 46, kXF = 47, kIndexedColor = 475,
  kBeginIndexedColors = 565, kEndIndexedColors = 566, kBeginCellXFs = 617, kEndCellXFs = 618,
};

// Text as an .xlsx part could carry it: control characters other than tab, line feed and
// carriage return, and U+FFFE and U+FFFF, become U+FFFD.
std::string XmlCarried(std::string s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      out += "\xEF\xBF\xBD";
    } else if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
               (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xBE) {
      out += "\xEF\xBF\xBD";  // U+FFFE and U+FFFF
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A stored double as a format keeps it: false for a value no spreadsheet would store (NaN,
// infinity), which leaves the default; zero without its sign.
bool Stored(double v, double& out) {
  if (!std::isfinite(v)) return false;
  out = v == 0 ? 0.0 : v;
  return true;
}

// BrtColor; a colour of a kind it does not know is left unset.
RawColor ReadColor(Reader& in) {
  uint8_t flags = in.u8();
  uint8_t index = in.u8();
  int16_t tint = static_cast<int16_t>(in.u16());
  uint8_t r = in.u8(), g = in.u8(), b = in.u8();
  in.u8();  // alpha
  RawColor c;
  switch (flags >> 1) {
    case 0: c.kind = RawColor::Auto; break;
    case 1:
      c.kind = RawColor::Indexed;
      c.value = index;
      break;
    case 2:
      c.kind = RawColor::Rgb;
      c.value = (Rgb{r} << 16) | (Rgb{g} << 8) | b;
      break;
    case 3:
      c.kind = RawColor::Theme;
      c.value = index;
      break;
    default: return c;
  }
  if (tint != 0) c.tint = std::clamp(tint / 32767.0, -1.0, 1.0);
  return c;
}

// The script whose theme font a font of this character set shows in.
const char* ScriptOf(uint8_t charset) {
  switch (charset) {
    case 128: return "Jpan";
    case 129: case 130: return "Hang";
    case 134: return "Hans";
    case 136: return "Hant";
    case 177: return "Hebr";
    case 178: return "Arab";
    case 222: return "Thai";
    default: return nullptr;
  }
}

// What the formats of one part may take: a real workbook has at most 65,000 cell formats.
constexpr size_t kMaxEntries = size_t{1} << 19;
constexpr size_t kMaxText = size_t{64} << 20;

class StylesSink : public RecordSink {
 public:
  StylesSink(const std::string& what, const Theme& theme, Stylesheet& out)
      : what_(what), theme_(theme), out_(out) {}

  bool record(uint32_t type, const uint8_t* data, uint32_t size) override {
    if (out_.numFmts.size() + out_.fonts.size() + out_.fills.size() + out_.borders.size() + out_.xfs.size() +
                stops_ > kMaxEntries ||
        text_ > kMaxText)
      throw AutomationError(what_ + " holds more cell formats than Corvane accepts.");
    Reader in(data, size);
    switch (type) {
      case kFmt: {
        uint16_t id = in.u16();
        std::string code;
        in.wideString(code);
        text_ += code.size();
        out_.numFmts.emplace_back(id, XmlCarried(std::move(code)));
        break;
      }
      case kFont: font(in); break;
      case kFill: fill(in); break;
      case kBorder: border(in); break;
      case kBeginCellXFs: inCellXfs_ = true; break;
      case kEndCellXFs: inCellXfs_ = false; break;
      case kXF:
        if (inCellXfs_) xf(in);
        break;
      case kBeginIndexedColors: inPalette_ = true; break;
      case kEndIndexedColors: inPalette_ = false; break;
      case kIndexedColor:
        if (inPalette_) {
          uint8_t r = in.u8(), g = in.u8(), b = in.u8();
          if (out_.palette.size() < static_cast<size_t>(kPaletteSize)) out_.palette.push_back((Rgb{r} << 16) | (Rgb{g} << 8) | b);
        }
        break;
      default:
        break;
    }
    return true;
  }

 private:
  void font(Reader& in) {
    uint16_t height = in.u16();
    uint16_t flags = in.u16();
    uint16_t weight = in.u16();
    in.u16();  // super- or subscript
    uint8_t underline = in.u8();
    in.u8();  // family
    uint8_t charset = in.u8();
    in.u8();
    RawColor color = ReadColor(in);
    uint8_t scheme = in.u8();
    std::string name;
    in.wideString(name);
    // A theme font stored with the Latin name but an East Asian (or other) character
    // set is shown, and written to .xlsx, as the theme's font for that script.
    if (const char* script = ScriptOf(charset); script && (scheme == 1 || scheme == 2)) {
      const auto& faces = scheme == 1 ? theme_.majorFonts : theme_.minorFonts;
      if (auto it = faces.find(script); it != faces.end()) name = it->second;
    }
    RawFont& f = out_.fonts.emplace_back();
    f.bold = weight >= 600;
    f.italic = flags & 0x02;
    f.strike = flags & 0x08;
    switch (underline) {
      case 0x01: f.underline = Underline::Single; break;
      case 0x02: f.underline = Underline::Double; break;
      case 0x21: f.underline = Underline::SingleAccounting; break;
      case 0x22: f.underline = Underline::DoubleAccounting; break;
      default: break;
    }
    if (height > 0) f.size = std::clamp(height / 20.0, 1.0, 409.0);
    f.color = color;
    text_ += name.size();
    f.name = XmlCarried(std::move(name));
  }

  void fill(Reader& in) {
    uint32_t pattern = in.u32();
    RawColor fg = ReadColor(in), bg = ReadColor(in);
    RawFill& f = out_.fills.emplace_back();
    if (pattern == 0x28) {
      // A gradient: linear at an angle or a path from an inner rectangle, then its stops.
      uint32_t type = in.u32();
      double degree = in.f64(), left = in.f64(), right = in.f64(), top = in.f64(), bottom = in.f64();
      uint32_t stops = in.u32();
      if (stops > in.left() / 16) throw RecordTooShort{};
      f.gradient = true;
      f.type = type == 1 ? Gradient::Type::Path : Gradient::Type::Linear;
      Stored(degree, f.degree);
      for (auto [edge, value] : {std::pair{&f.left, left}, {&f.right, right}, {&f.top, top}, {&f.bottom, bottom}})
        if (Stored(value, *edge)) *edge = std::clamp(*edge, 0.0, 1.0);
      for (uint32_t i = 0; i < stops; ++i) {
        RawColor color = ReadColor(in);
        double position = in.f64();
        if (f.stops.size() == kMaxStops) continue;
        RawStop& stop = f.stops.emplace_back();
        if (Stored(position, stop.position)) stop.position = std::clamp(stop.position, 0.0, 1.0);
        stop.color = color;
      }
      stops_ += f.stops.size();
    } else {
      constexpr uint32_t kPatterns = static_cast<uint32_t>(FillPattern::Gray0625) + 1;
      f.pattern = pattern < kPatterns ? static_cast<FillPattern>(pattern) : FillPattern::None;
      f.fg = fg;
      f.bg = bg;
    }
  }

  void border(Reader& in) {
    constexpr uint8_t kStyles = static_cast<uint8_t>(BorderStyle::SlantDashDot) + 1;
    uint8_t diagonals = in.u8();  // down, up
    RawBorder& b = out_.borders.emplace_back();
    b.diagonalUp = diagonals & 0x02;
    b.diagonalDown = diagonals & 0x01;
    for (RawSide* side : {&b.top, &b.bottom, &b.left, &b.right, &b.diagonal}) {  // as stored
      uint8_t style = in.u8();
      in.u8();
      RawColor color = ReadColor(in);
      if (style != 0 && style < kStyles) *side = {static_cast<BorderStyle>(style), color};
    }
  }

  void xf(Reader& in) {
    static constexpr VAlign kVertical[] = {VAlign::Top, VAlign::Center, VAlign::Bottom, VAlign::Justify,
                                           VAlign::Distributed};
    in.u16();  // parent style
    RawXf& x = out_.xfs.emplace_back();
    x.numFmt = in.u16();
    x.font = in.u16();
    x.fill = in.u16();
    x.border = in.u16();
    uint8_t rotation = in.u8(), indent = in.u8();
    uint16_t flags = in.u16();
    x.hAlign = static_cast<HAlign>(flags & 7);
    uint16_t vertical = (flags >> 3) & 7;
    if (vertical < std::size(kVertical)) x.vAlign = kVertical[vertical];
    x.wrap = flags & 0x40;
    x.shrink = flags & 0x100;
    x.indent = static_cast<uint8_t>(std::min<int>(indent, kMaxIndent));
    x.rotation = static_cast<int16_t>(rotation <= 180 || rotation == 255 ? rotation : 0);
    x.locked = flags & 0x1000;
    x.hidden = flags & 0x2000;
  }

  const std::string& what_;
  const Theme& theme_;
  Stylesheet& out_;
  size_t stops_ = 0, text_ = 0;
  bool inCellXfs_ = false, inPalette_ = false;
};

}  // namespace

std::vector<Style> ReadStyles(const ZipPackage& pkg, std::string_view part, std::string_view themeXml,
                              const std::string& what, const std::string& themeWhat) {
  Theme theme = ReadTheme(themeXml, themeWhat);
  Stylesheet sheet;
  StylesSink sink(what, theme, sheet);
  RecordSplitter split(sink, what);
  pkg.stream(part, [&](const char* p, size_t n) { split.feed(p, n); });
  split.finish();
  return ResolveStyles(sheet, theme.colors);
}

}  // namespace corvane::xlsb
