#include "engine/xlsb/xlsb_styles.h"

#include <cmath>
#include <map>

#include "engine/core/error.h"
#include "engine/core/number_text.h"
#include "engine/containers/xlsb_records.h"
#include "engine/containers/xml_reader.h"
#include "engine/containers/zip_package.h"

namespace corvane::xlsb {

namespace {

// Record types of the styles part.
enum : uint32_t {
  kFont = 43, kFmt = 44, kFill = 45, kBorder = 46, kXF = 47, kIndexedColor = 475,
  kBeginIndexedColors = 565, kEndIndexedColors = 566, kBeginCellXFs = 617, kEndCellXFs = 618,
};

// Attribute text: XML escapes, and characters XML cannot carry at all replaced.
void AppendAttr(std::string& out, std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (c < 0x20) {
          out += "\xEF\xBF\xBD";
        } else if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
                   (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xBE) {
          out += "\xEF\xBF\xBD";  // U+FFFE and U+FFFF
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

void AppendInt(std::string& out, long long v) { out += std::to_string(v); }

// An opaque colour as the rgb attribute writes it: "FF" and the red, green and blue bytes in hex.
void AppendArgb(std::string& out, uint8_t r, uint8_t g, uint8_t b) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "FF";
  for (uint8_t x : {r, g, b}) {
    out += kHex[x >> 4];
    out += kHex[x & 15];
  }
}

// ` name="value"` for a finite number, written the way from_chars reads it back; nothing
// for a value no spreadsheet would store (NaN, infinity).
void AppendNumberAttr(std::string& out, const char* name, double v) {
  if (!std::isfinite(v)) return;
  out += ' ';
  out += name;
  out += "=\"";
  AppendShortestNumber(out, v);
  out += '"';
}

// BrtColor as the attributes of a colour element; nothing for a colour left unset.
void AppendColor(std::string& out, const char* element, Reader& in) {
  uint8_t flags = in.u8();
  uint8_t index = in.u8();
  int16_t tint = static_cast<int16_t>(in.u16());
  uint8_t r = in.u8(), g = in.u8(), b = in.u8();
  in.u8();  // alpha
  std::string attrs;
  switch (flags >> 1) {
    case 0: attrs = " auto=\"1\""; break;
    case 1: attrs = " indexed=\"" + std::to_string(index) + "\""; break;
    case 2:
      attrs = " rgb=\"";
      AppendArgb(attrs, r, g, b);
      attrs += '"';
      break;
    case 3: attrs = " theme=\"" + std::to_string(index) + "\""; break;
    default: return;
  }
  if (tint != 0) AppendNumberAttr(attrs, "tint", tint / 32767.0);
  out += '<';
  out += element;
  out += attrs;
  out += "/>";
}

// The typefaces of the theme's major and minor fonts, by script ("Jpan", ...).
class ThemeFonts : public XmlHandler {
 public:
  std::map<std::string, std::string> major, minor;
  void start(std::string_view name, const char** a) override {
    if (name == "majorFont") current_ = &major;
    else if (name == "minorFont") current_ = &minor;
    else if (name == "font" && current_) {
      const char* script = Attr(a, "script");
      const char* face = Attr(a, "typeface");
      if (script && face && *face) (*current_)[script] = face;
    }
  }
  void end(std::string_view name) override {
    if (name == "majorFont" || name == "minorFont") current_ = nullptr;
  }

 private:
  std::map<std::string, std::string>* current_ = nullptr;
};

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

// The styles of a real workbook render to well under a megabyte.
constexpr size_t kMaxStylesXml = 64u << 20;

class StylesSink : public RecordSink {
 public:
  StylesSink(const std::string& what, const ThemeFonts& theme) : what_(what), theme_(theme) {}
  std::string numFmts, fonts, fills, borders, xfs, palette;

  bool record(uint32_t type, const uint8_t* data, uint32_t size) override {
    if (numFmts.size() + fonts.size() + fills.size() + borders.size() + xfs.size() > kMaxStylesXml)
      throw AutomationError(what_ + " holds more cell formats than Corvane accepts.");
    Reader in(data, size);
    switch (type) {
      case kFmt: {
        uint16_t id = in.u16();
        std::string code;
        in.wideString(code);
        numFmts += "<numFmt numFmtId=\"";
        AppendInt(numFmts, id);
        numFmts += "\" formatCode=\"";
        AppendAttr(numFmts, code);
        numFmts += "\"/>";
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
          palette += "<rgbColor rgb=\"";
          AppendArgb(palette, r, g, b);
          palette += "\"/>";
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
    std::string color;
    AppendColor(color, "color", in);
    uint8_t scheme = in.u8();
    std::string name;
    in.wideString(name);
    // A theme font stored with the Latin name but an East Asian (or other) character
    // set is shown, and written to .xlsx, as the theme's font for that script.
    if (const char* script = ScriptOf(charset); script && (scheme == 1 || scheme == 2)) {
      const auto& faces = scheme == 1 ? theme_.major : theme_.minor;
      if (auto it = faces.find(script); it != faces.end()) name = it->second;
    }
    fonts += "<font>";
    if (weight >= 600) fonts += "<b/>";
    if (flags & 0x02) fonts += "<i/>";
    if (flags & 0x08) fonts += "<strike/>";
    switch (underline) {
      case 0x01: fonts += "<u/>"; break;
      case 0x02: fonts += "<u val=\"double\"/>"; break;
      case 0x21: fonts += "<u val=\"singleAccounting\"/>"; break;
      case 0x22: fonts += "<u val=\"doubleAccounting\"/>"; break;
      default: break;
    }
    fonts += "<sz";
    AppendNumberAttr(fonts, "val", height / 20.0);
    fonts += "/>";
    fonts += color;
    if (!name.empty()) {
      fonts += "<name val=\"";
      AppendAttr(fonts, name);
      fonts += "\"/>";
    }
    fonts += "</font>";
  }

  void fill(Reader& in) {
    static const char* const kPatterns[] = {
        "none", "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal", "darkVertical",
        "darkDown", "darkUp", "darkGrid", "darkTrellis", "lightHorizontal", "lightVertical",
        "lightDown", "lightUp", "lightGrid", "lightTrellis", "gray125", "gray0625"};
    uint32_t pattern = in.u32();
    std::string fg, bg;
    AppendColor(fg, "fgColor", in);
    AppendColor(bg, "bgColor", in);
    fills += "<fill>";
    if (pattern == 0x28) {
      // A gradient: linear at an angle or a path from an inner rectangle, then its stops.
      uint32_t type = in.u32();
      double degree = in.f64(), left = in.f64(), right = in.f64(), top = in.f64(), bottom = in.f64();
      uint32_t stops = in.u32();
      if (stops > in.left() / 16) throw RecordTooShort{};
      fills += type == 1 ? "<gradientFill type=\"path\"" : "<gradientFill";
      AppendNumberAttr(fills, "degree", degree);
      AppendNumberAttr(fills, "left", left);
      AppendNumberAttr(fills, "right", right);
      AppendNumberAttr(fills, "top", top);
      AppendNumberAttr(fills, "bottom", bottom);
      fills += ">";
      for (uint32_t i = 0; i < stops; ++i) {
        std::string color;
        AppendColor(color, "color", in);
        double position = in.f64();
        fills += "<stop";
        AppendNumberAttr(fills, "position", position);
        fills += ">" + color + "</stop>";
      }
      fills += "</gradientFill>";
    } else {
      fills += "<patternFill patternType=\"";
      fills += pattern < std::size(kPatterns) ? kPatterns[pattern] : "none";
      fills += "\">" + fg + bg + "</patternFill>";
    }
    fills += "</fill>";
  }

  void border(Reader& in) {
    static const char* const kStyles[] = {
        "none", "thin", "medium", "dashed", "dotted", "thick", "double", "hair",
        "mediumDashed", "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"};
    uint8_t diagonals = in.u8();  // down, up
    std::string sides[5];  // stored top, bottom, left, right, diagonal
    for (std::string& s : sides) {
      uint8_t style = in.u8();
      in.u8();
      std::string color;
      AppendColor(color, "color", in);
      if (style != 0 && style < std::size(kStyles)) s = std::string(" style=\"") + kStyles[style] + "\">" + color;
    }
    auto side = [&](const char* name, const std::string& s) {
      borders += '<';
      borders += name;
      if (s.empty()) {
        borders += "/>";
      } else {
        borders += s + "</" + name + ">";
      }
    };
    borders += "<border";
    if (diagonals & 0x02) borders += " diagonalUp=\"1\"";
    if (diagonals & 0x01) borders += " diagonalDown=\"1\"";
    borders += ">";
    side("left", sides[2]);
    side("right", sides[3]);
    side("top", sides[0]);
    side("bottom", sides[1]);
    side("diagonal", sides[4]);
    borders += "</border>";
  }

  void xf(Reader& in) {
    static const char* const kHorizontal[] = {"general", "left", "center", "right", "fill",
                                              "justify", "centerContinuous", "distributed"};
    static const char* const kVertical[] = {"top", "center", "bottom", "justify", "distributed"};
    in.u16();  // parent style
    uint16_t fmt = in.u16(), font = in.u16(), fill = in.u16(), border = in.u16();
    uint8_t rotation = in.u8(), indent = in.u8();
    uint16_t flags = in.u16();
    xfs += "<xf numFmtId=\"" + std::to_string(fmt) + "\" fontId=\"" + std::to_string(font) + "\" fillId=\"" +
           std::to_string(fill) + "\" borderId=\"" + std::to_string(border) + "\"><alignment horizontal=\"";
    xfs += kHorizontal[flags & 7];
    xfs += "\"";
    uint16_t vertical = (flags >> 3) & 7;
    if (vertical < std::size(kVertical)) {
      xfs += " vertical=\"";
      xfs += kVertical[vertical];
      xfs += "\"";
    }
    if (flags & 0x40) xfs += " wrapText=\"1\"";
    if (flags & 0x100) xfs += " shrinkToFit=\"1\"";
    xfs += " indent=\"" + std::to_string(indent) + "\" textRotation=\"" + std::to_string(rotation) +
           "\"/><protection locked=\"" + ((flags & 0x1000) ? "1" : "0") + "\" hidden=\"" +
           ((flags & 0x2000) ? "1" : "0") + "\"/></xf>";
  }

  const std::string& what_;
  const ThemeFonts& theme_;
  bool inCellXfs_ = false, inPalette_ = false;
};

}  // namespace

std::string StylesToXml(const ZipPackage& pkg, std::string_view part, std::string_view themeXml,
                        const std::string& what) {
  ThemeFonts theme;
  if (!themeXml.empty()) XmlParser::Parse(theme, themeXml, what + " (its theme)");
  StylesSink sink(what, theme);
  RecordSplitter split(sink, what);
  pkg.stream(part, [&](const char* p, size_t n) { split.feed(p, n); });
  split.finish();
  std::string xml = "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
  xml += "<numFmts>" + sink.numFmts + "</numFmts>";
  xml += "<fonts>" + sink.fonts + "</fonts>";
  xml += "<fills>" + sink.fills + "</fills>";
  xml += "<borders>" + sink.borders + "</borders>";
  xml += "<cellXfs>" + sink.xfs + "</cellXfs>";
  if (!sink.palette.empty()) xml += "<colors><indexedColors>" + sink.palette + "</indexedColors></colors>";
  xml += "</styleSheet>";
  return xml;
}

}  // namespace corvane::xlsb
