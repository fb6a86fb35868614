#include "engine/writing/styles_part.h"

#include <string_view>

#include "engine/core/builtin_formats.h"

namespace corvane {

namespace {

constexpr uint32_t kFirstCustomNumFmt = 164;

std::string_view BorderName(BorderStyle b) {
  switch (b) {
    case BorderStyle::None: return "none";
    case BorderStyle::Thin: return "thin";
    case BorderStyle::Medium: return "medium";
    case BorderStyle::Dashed: return "dashed";
    case BorderStyle::Dotted: return "dotted";
    case BorderStyle::Thick: return "thick";
    case BorderStyle::Double: return "double";
    case BorderStyle::Hair: return "hair";
    case BorderStyle::MediumDashed: return "mediumDashed";
    case BorderStyle::DashDot: return "dashDot";
    case BorderStyle::MediumDashDot: return "mediumDashDot";
    case BorderStyle::DashDotDot: return "dashDotDot";
    case BorderStyle::MediumDashDotDot: return "mediumDashDotDot";
    case BorderStyle::SlantDashDot: return "slantDashDot";
  }
  return "none";
}

std::string_view PatternName(FillPattern p) {
  static constexpr std::string_view kNames[] = {
      "none", "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal", "darkVertical",
      "darkDown", "darkUp", "darkGrid", "darkTrellis", "lightHorizontal", "lightVertical",
      "lightDown", "lightUp", "lightGrid", "lightTrellis", "gray125", "gray0625"};
  auto i = static_cast<size_t>(p);
  return i < std::size(kNames) ? kNames[i] : "none";
}

std::string_view HAlignName(HAlign a) {
  switch (a) {
    case HAlign::General: return "general";
    case HAlign::Left: return "left";
    case HAlign::Center: return "center";
    case HAlign::Right: return "right";
    case HAlign::Fill: return "fill";
    case HAlign::Justify: return "justify";
    case HAlign::CenterContinuous: return "centerContinuous";
    case HAlign::Distributed: return "distributed";
  }
  return "general";
}

std::string_view VAlignName(VAlign a) {
  switch (a) {
    case VAlign::Bottom: return "bottom";
    case VAlign::Top: return "top";
    case VAlign::Center: return "center";
    case VAlign::Justify: return "justify";
    case VAlign::Distributed: return "distributed";
  }
  return "bottom";
}

std::string_view UnderlineName(Underline u) {
  switch (u) {
    case Underline::None: return "none";
    case Underline::Single: return "single";
    case Underline::Double: return "double";
    case Underline::SingleAccounting: return "singleAccounting";
    case Underline::DoubleAccounting: return "doubleAccounting";
  }
  return "none";
}

// <tag rgb="FFRRGGBB"/>, or auto="1" for a colour left to the application.
void AppendColor(ByteBuffer& b, std::string_view tag, Rgb rgb) {
  b.push('<');
  b.append(tag);
  if (rgb == kAutoColor) {
    b.append(" auto=\"1\"/>");
    return;
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char hex[8] = {'F', 'F'};
  for (int i = 0; i < 6; ++i) hex[2 + i] = kDigits[(rgb >> (20 - 4 * i)) & 0xF];
  b.append(" rgb=\"");
  b.append(hex, 8);
  b.append("\"/>");
}

std::string Text(const ByteBuffer& b) { return std::string(b.view()); }

std::string FontXml(const Style& s) {
  ByteBuffer b;
  b.append("<font>");
  if (s.bold) b.append("<b/>");
  if (s.italic) b.append("<i/>");
  if (s.strike) b.append("<strike/>");
  if (s.underline == Underline::Single) {
    b.append("<u/>");
  } else if (s.underline != Underline::None) {
    b.append("<u");
    AppendAttr(b, "val", UnderlineName(s.underline));
    b.append("/>");
  }
  b.append("<sz");
  AppendNumberAttr(b, "val", s.fontSize > 0 ? s.fontSize : 11);
  b.append("/>");
  // The theme's dark text colour, as the spreadsheet writes a font left to the application.
  if (s.fontColor == kAutoColor)
    b.append("<color theme=\"1\"/>");
  else
    AppendColor(b, "color", s.fontColor);
  std::string_view name = s.fontName.empty() ? std::string_view("Calibri") : s.fontName;
  b.append("<name");
  AppendAttr(b, "val", name);
  b.append("/><family val=\"2\"/>");
  // Calibri is the theme's body font: it follows the theme as the default font does.
  if (name == "Calibri") b.append("<scheme val=\"minor\"/>");
  b.append("</font>");
  return Text(b);
}

std::string FillXml(const Style& s) {
  ByteBuffer b;
  const Gradient& g = s.gradient;
  if (!g.empty()) {
    b.append("<fill><gradientFill");
    if (g.type == Gradient::Type::Path) {
      b.append(" type=\"path\"");
      AppendNumberAttr(b, "left", g.left);
      AppendNumberAttr(b, "right", g.right);
      AppendNumberAttr(b, "top", g.top);
      AppendNumberAttr(b, "bottom", g.bottom);
    } else if (g.degree != 0) {
      AppendNumberAttr(b, "degree", g.degree);
    }
    b.push('>');
    for (const GradientStop& stop : g.stops) {
      b.append("<stop");
      AppendNumberAttr(b, "position", stop.position);
      b.push('>');
      AppendColor(b, "color", stop.color);
      b.append("</stop>");
    }
    b.append("</gradientFill></fill>");
    return Text(b);
  }
  b.append("<fill><patternFill patternType=\"");
  b.append(PatternName(s.pattern));
  // Colours without a pattern would show nothing; they are left out.
  if (s.pattern == FillPattern::None || (s.fillFg == kAutoColor && s.fillBg == kAutoColor)) {
    b.append("\"/></fill>");
    return Text(b);
  }
  b.append("\">");
  if (s.fillFg != kAutoColor) AppendColor(b, "fgColor", s.fillFg);
  if (s.fillBg != kAutoColor) AppendColor(b, "bgColor", s.fillBg);
  b.append("</patternFill></fill>");
  return Text(b);
}

void AppendSide(ByteBuffer& b, std::string_view tag, const BorderSide& side) {
  b.push('<');
  b.append(tag);
  if (side.style == BorderStyle::None) {
    b.append("/>");
    return;
  }
  AppendAttr(b, "style", BorderName(side.style));
  b.push('>');
  AppendColor(b, "color", side.color);
  b.append("</");
  b.append(tag);
  b.push('>');
}

std::string BorderXml(const Style& s) {
  ByteBuffer b;
  b.append("<border");
  if (s.diagonalUp) b.append(" diagonalUp=\"1\"");
  if (s.diagonalDown) b.append(" diagonalDown=\"1\"");
  b.push('>');
  AppendSide(b, "left", s.left);
  AppendSide(b, "right", s.right);
  AppendSide(b, "top", s.top);
  AppendSide(b, "bottom", s.bottom);
  AppendSide(b, "diagonal", s.diagonal);
  b.append("</border>");
  return Text(b);
}

}  // namespace

uint32_t StylesPart::Component::add(std::string x) {
  auto [it, added] = index.emplace(x, static_cast<uint32_t>(xml.size()));
  if (added) xml.push_back(std::move(x));
  return it->second;
}

StylesPart::StylesPart() {
  fills_.add("<fill><patternFill patternType=\"none\"/></fill>");
  // The spreadsheet keeps the second fill for itself: always this pattern.
  fills_.add("<fill><patternFill patternType=\"gray125\"/></fill>");
  cellFormat(Style{});
}

uint32_t StylesPart::numFmtId(const std::string& code) {
  if (code.empty()) return 0;
  int builtin = BuiltinNumFmtId(code);
  if (builtin >= 0) return static_cast<uint32_t>(builtin);
  auto [it, added] =
      numFmtIds_.emplace(code, kFirstCustomNumFmt + static_cast<uint32_t>(numFmts_.size()));
  if (added) numFmts_.emplace_back(it->second, code);
  return it->second;
}

uint32_t StylesPart::cellFormat(const Style& s) {
  auto found = formats_.find(s);
  if (found != formats_.end()) return found->second;

  uint32_t numFmt = numFmtId(s.numFmt);
  uint32_t font = fonts_.add(FontXml(s));
  uint32_t fill = fills_.add(FillXml(s));
  uint32_t border = borders_.add(BorderXml(s));

  ByteBuffer b;
  b.append("<xf");
  AppendNumberAttr(b, "numFmtId", numFmt);
  AppendNumberAttr(b, "fontId", font);
  AppendNumberAttr(b, "fillId", fill);
  AppendNumberAttr(b, "borderId", border);
  b.append(" xfId=\"0\"");
  if (numFmt != 0) b.append(" applyNumberFormat=\"1\"");
  if (font != 0) b.append(" applyFont=\"1\"");
  if (fill != 0) b.append(" applyFill=\"1\"");
  if (border != 0) b.append(" applyBorder=\"1\"");
  bool alignment = s.hAlign != HAlign::General || s.vAlign != VAlign::Bottom || s.wrap ||
                   s.shrink || s.indent != 0 || s.rotation != 0;
  bool protection = !s.locked || s.hidden;
  if (alignment) b.append(" applyAlignment=\"1\"");
  if (protection) b.append(" applyProtection=\"1\"");
  if (!alignment && !protection) {
    b.append("/>");
  } else {
    b.push('>');
    if (alignment) {
      b.append("<alignment");
      if (s.hAlign != HAlign::General) AppendAttr(b, "horizontal", HAlignName(s.hAlign));
      if (s.vAlign != VAlign::Bottom) AppendAttr(b, "vertical", VAlignName(s.vAlign));
      if (s.rotation != 0) AppendNumberAttr(b, "textRotation", s.rotation);
      if (s.wrap) b.append(" wrapText=\"1\"");
      if (s.indent != 0) AppendNumberAttr(b, "indent", s.indent);
      if (s.shrink) b.append(" shrinkToFit=\"1\"");
      b.append("/>");
    }
    if (protection) {
      b.append("<protection");
      if (!s.locked) b.append(" locked=\"0\"");
      if (s.hidden) b.append(" hidden=\"1\"");
      b.append("/>");
    }
    b.append("</xf>");
  }
  auto index = static_cast<uint32_t>(xfs_.size());
  xfs_.push_back(Text(b));
  formats_.emplace(s, index);
  return index;
}

namespace {

void AppendList(ByteBuffer& out, std::string_view tag, const std::vector<std::string>& items) {
  out.push('<');
  out.append(tag);
  AppendNumberAttr(out, "count", static_cast<double>(items.size()));
  out.push('>');
  for (const std::string& x : items) out.append(x);
  out.append("</");
  out.append(tag);
  out.push('>');
}

}  // namespace

void StylesPart::write(ByteBuffer& out) const {
  out.append(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">");
  if (!numFmts_.empty()) {
    out.append("<numFmts");
    AppendNumberAttr(out, "count", static_cast<double>(numFmts_.size()));
    out.push('>');
    for (const auto& [id, code] : numFmts_) {
      out.append("<numFmt");
      AppendNumberAttr(out, "numFmtId", id);
      AppendAttr(out, "formatCode", code);
      out.append("/>");
    }
    out.append("</numFmts>");
  }
  AppendList(out, "fonts", fonts_.xml);
  AppendList(out, "fills", fills_.xml);
  AppendList(out, "borders", borders_.xml);
  out.append(
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "</cellStyleXfs>");
  AppendList(out, "cellXfs", xfs_);
  out.append(
      "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
      "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
      "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>");
}

}  // namespace corvane
