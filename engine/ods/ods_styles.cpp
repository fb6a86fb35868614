#include "engine/ods/ods_styles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/containers/xml_reader.h"

namespace corvane {

namespace {

bool Is(const char* v, const char* s) { return v && std::strcmp(v, s) == 0; }

// "#rrggbb" as 0xRRGGBB.
std::optional<Rgb> ParseColor(std::string_view v) {
  if (v.size() != 7 || v[0] != '#') return std::nullopt;
  unsigned x = 0;
  auto r = std::from_chars(v.data() + 1, v.data() + 7, x, 16);
  if (r.ec != std::errc() || r.ptr != v.data() + 7) return std::nullopt;
  return static_cast<Rgb>(x);
}

// A length ("0.74pt", "0.026cm", "0.0104in", "2px") in points; negative when unreadable.
double LengthPt(std::string_view v) {
  double x = 0;
  const char* b = v.data();
  const char* e = b + v.size();
  auto r = std::from_chars(b, e, x);
  if (r.ec != std::errc() || !std::isfinite(x)) return -1;
  std::string_view unit(r.ptr, static_cast<size_t>(e - r.ptr));
  if (unit == "pt" || unit.empty()) return x;
  if (unit == "cm") return x * 72 / 2.54;
  if (unit == "mm") return x * 72 / 25.4;
  if (unit == "in") return x * 72;
  if (unit == "pc") return x * 12;
  if (unit == "px") return x * 0.75;
  return -1;
}

// A column width in points as an .xlsx <col width> holds it: the width in pixels at 96 dots per
// inch over the default font's widest digit, 7 pixels for Calibri 11 (and about that for the
// 10-point sans fonts OpenDocument programs default to), cut to 1/256 as spreadsheets store it.
// So 64 pixels (48 points) are 9.140625, the width a spreadsheet shows as 8.43 characters.
double WidthOfPoints(double pt) {
  constexpr double kDigitPixels = 7;
  double px = pt * 96 / 72;
  return std::floor(px / kDigitPixels * 256 + 1e-6) / 256;
}

// "0.74pt solid #000000", "none", "thin dashed #ff0000".
BorderSide ParseBorder(std::string_view v) {
  BorderSide side;
  double width = 0.75;
  std::string_view style;
  Rgb color = kAutoColor;
  size_t i = 0;
  while (i < v.size()) {
    while (i < v.size() && v[i] == ' ') ++i;
    size_t j = i;
    while (j < v.size() && v[j] != ' ') ++j;
    std::string_view t = v.substr(i, j - i);
    i = j;
    if (t.empty()) break;
    if (t[0] == '#') {
      if (auto c = ParseColor(t)) color = *c;
    } else if (t == "thin") {
      width = 0.75;
    } else if (t == "medium") {
      width = 1.5;
    } else if (t == "thick") {
      width = 2.5;
    } else if ((t[0] >= '0' && t[0] <= '9') || t[0] == '.') {
      width = LengthPt(t);
    } else {
      style = t;
    }
  }
  if (style.empty() || style == "none" || style == "hidden" || width <= 0) return side;
  bool medium = width >= 1.0;
  if (style == "double" || style == "double-thin") side.style = BorderStyle::Double;
  else if (style == "dotted") side.style = BorderStyle::Dotted;
  else if (style == "dashed" || style == "fine-dashed") side.style = medium ? BorderStyle::MediumDashed : BorderStyle::Dashed;
  else if (style == "dash-dot") side.style = medium ? BorderStyle::MediumDashDot : BorderStyle::DashDot;
  else if (style == "dash-dot-dot") side.style = medium ? BorderStyle::MediumDashDotDot : BorderStyle::DashDotDot;
  else side.style = width < 1.0 ? BorderStyle::Thin : width < 2.0 ? BorderStyle::Medium : BorderStyle::Thick;
  side.color = color;
  return side;
}

std::string Unquote(std::string_view s) {
  if (s.size() >= 2 && (s[0] == '\'' || s[0] == '"') && s.back() == s[0]) s = s.substr(1, s.size() - 2);
  return std::string(s);
}

// Text shown as it stands in a format code.
void AppendLiteral(std::string& code, std::string_view text, bool percentStyle) {
  std::string quoted;
  auto flush = [&] {
    if (quoted.empty()) return;
    code += '"';
    code += quoted;
    code += '"';
    quoted.clear();
  };
  for (char c : text) {
    if (std::strchr("$-+/():!^&'~{}<>= ", c) || (c == '%' && percentStyle)) {
      flush();
      code += c;
    } else if (c == '"') {
      flush();
      code += "\\\"";
    } else {
      quoted += c;
    }
  }
  flush();
}

const char* ColorTag(Rgb c) {
  switch (c) {
    case 0x000000: return "[Black]";
    case 0x0000FF: return "[Blue]";
    case 0x00FFFF: return "[Cyan]";
    case 0x00FF00: return "[Green]";
    case 0xFF00FF: return "[Magenta]";
    case 0xFF0000: return "[Red]";
    case 0xFFFFFF: return "[White]";
    case 0xFFFF00: return "[Yellow]";
    default: return "";
  }
}

int IntAttr(const char** a, std::string_view local, int fallback) {
  const char* v = Attr(a, local);
  if (!v) return fallback;
  int x = fallback;
  auto r = std::from_chars(v, v + std::strlen(v), x);
  if (r.ec != std::errc()) return fallback;
  return std::clamp(x, 0, 30);
}

}  // namespace

void OdsStyleSheet::finishDocument() {
  depth_ = 0;
  cell_ = nullptr;
  tableStyle_.clear();
  data_ = nullptr;
  collect_ = nullptr;
  inEmbedded_ = false;
}

void OdsStyleSheet::start(std::string_view name, const char** a) {
  ++depth_;
  if (data_) return startDataElement(name, a);
  if (name == "font-face") {
    const char* n = Attr(a, "name");
    const char* family = Attr(a, "font-family");
    if (n) fontFaces_.emplace(n, family ? Unquote(family) : std::string(n));
  } else if (name == "style") {
    const char* family = Attr(a, "family");
    const char* n = Attr(a, "name");
    if (Is(family, "table-cell") && n) {
      startCellStyle(a, false);
    } else if (Is(family, "table") && n) {
      tableStyle_ = n;
    } else if (Is(family, "table-column") && n) {
      columnStyle_ = n;
    } else if (Is(family, "table-row") && n) {
      rowStyle_ = n;
    }
  } else if (name == "default-style") {
    if (Is(Attr(a, "family"), "table-cell")) startCellStyle(a, true);
  } else if (cell_ && (name == "table-cell-properties" || name == "text-properties" || name == "paragraph-properties")) {
    cellProperty(name, a);
  } else if (!tableStyle_.empty() && name == "table-properties") {
    if (const char* d = Attr(a, "display")) tableHidden_.emplace(tableStyle_, std::strcmp(d, "false") == 0);
  } else if (!columnStyle_.empty() && name == "table-column-properties") {
    double pt = -1;
    if (const char* w = Attr(a, "column-width")) pt = LengthPt(w);
    if (pt >= 0) columnWidths_.emplace(columnStyle_, WidthOfPoints(pt));
  } else if (!rowStyle_.empty() && name == "table-row-properties") {
    const char* h = Attr(a, "row-height");
    double pt = h ? LengthPt(h) : -1;
    if (pt >= 0 && !Is(Attr(a, "use-optimal-row-height"), "true")) rowHeights_.emplace(rowStyle_, pt);
  } else if (name.size() > 6 && name.substr(name.size() - 6) == "-style" && name != "default-style") {
    DataKind kind;
    if (name == "number-style") kind = DataKind::Number;
    else if (name == "date-style") kind = DataKind::Date;
    else if (name == "time-style") kind = DataKind::Time;
    else if (name == "percentage-style") kind = DataKind::Percentage;
    else if (name == "currency-style") kind = DataKind::Currency;
    else if (name == "boolean-style") kind = DataKind::Boolean;
    else if (name == "text-style") kind = DataKind::Text;
    else return;
    const char* n = Attr(a, "name");
    scratchData_ = DataStyle{};
    data_ = &scratchData_;
    if (n) {
      auto [it, fresh] = dataStyles_.emplace(n, DataStyle{});
      if (fresh) data_ = &it->second;
    }
    data_->kind = kind;
    data_->elapsed = kind == DataKind::Time && Is(Attr(a, "truncate-on-overflow"), "false");
    dataDepth_ = depth_;
  }
}

void OdsStyleSheet::end(std::string_view name) {
  if (data_) {
    if (depth_ == dataDepth_) data_ = nullptr;
    else endDataElement(name);
  } else if (name == "style" || name == "default-style") {
    cell_ = nullptr;
    tableStyle_.clear();
    columnStyle_.clear();
    rowStyle_.clear();
  }
  --depth_;
}

void OdsStyleSheet::text(std::string_view s) {
  if (collect_ && collect_->size() < 1024) collect_->append(s);
}

void OdsStyleSheet::startCellStyle(const char** a, bool isDefault) {
  CellProps p;
  if (const char* v = Attr(a, "parent-style-name")) p.parent = v;
  if (const char* v = Attr(a, "data-style-name")) {
    p.dataStyle = v;
    p.hasDataStyle = true;
  }
  if (isDefault) {
    if (defaultStyle_) {
      scratchCell_ = p;
      cell_ = &scratchCell_;
      return;
    }
    defaultStyle_ = p;
    cell_ = &*defaultStyle_;
    return;
  }
  auto [it, fresh] = cellStyles_.emplace(Attr(a, "name"), p);
  if (fresh) {
    cell_ = &it->second;
  } else {
    scratchCell_ = p;
    cell_ = &scratchCell_;
  }
}

void OdsStyleSheet::cellProperty(std::string_view element, const char** a) {
  CellProps& p = *cell_;
  for (const char** q = a; *q; q += 2) {
    std::string_view k = LocalName(q[0]);
    std::string_view v = q[1];
    if (element == "text-properties") {
      if (k == "font-name" && std::strncmp(q[0], "style:", 6) == 0) {
        p.fontFace = std::string(v);
      } else if (k == "font-family" && std::strncmp(q[0], "fo:", 3) == 0) {
        p.fontFamily = Unquote(v);
      } else if (k == "font-size") {
        double pt = LengthPt(v);
        if (pt > 0 && pt < 1000) p.size = pt;
      } else if (k == "font-weight") {
        p.bold = v == "bold" || (v.size() == 3 && v >= "600");
      } else if (k == "font-style") {
        p.italic = v == "italic" || v == "oblique";
      } else if (k == "text-underline-style") {
        p.underline = v == "none" ? Underline::None : p.underline.value_or(Underline::Single) == Underline::Double
                                                          ? Underline::Double
                                                          : Underline::Single;
      } else if (k == "text-underline-type") {
        if (v == "double") p.underline = Underline::Double;
        else if (v == "none") p.underline = Underline::None;
      } else if (k == "text-line-through-style") {
        p.strike = v != "none";
      } else if (k == "color") {
        if (auto c = ParseColor(v)) p.color = *c;
      }
    } else if (element == "table-cell-properties") {
      if (k == "background-color") {
        p.background = v == "transparent" ? kAutoColor : ParseColor(v).value_or(kAutoColor);
      } else if (k == "border") {
        BorderSide b = ParseBorder(v);
        for (auto& side : p.border) side = b;
      } else if (k == "border-left") {
        p.border[0] = ParseBorder(v);
      } else if (k == "border-right") {
        p.border[1] = ParseBorder(v);
      } else if (k == "border-top") {
        p.border[2] = ParseBorder(v);
      } else if (k == "border-bottom") {
        p.border[3] = ParseBorder(v);
      } else if (k == "diagonal-bl-tr") {
        p.diagonalUp = ParseBorder(v);
      } else if (k == "diagonal-tl-br") {
        p.diagonalDown = ParseBorder(v);
      } else if (k == "vertical-align") {
        p.vAlign = v == "top" ? VAlign::Top : v == "middle" ? VAlign::Center : VAlign::Bottom;
      } else if (k == "wrap-option") {
        p.wrap = v == "wrap";
      } else if (k == "shrink-to-fit") {
        p.shrink = v == "true";
      } else if (k == "rotation-angle") {
        double deg = 0;
        std::from_chars(v.data(), v.data() + v.size(), deg);
        if (!std::isfinite(deg)) deg = 0;
        int d = static_cast<int>(std::lround(std::fmod(std::fmod(deg, 360) + 360, 360)));
        p.rotation = static_cast<int16_t>(d <= 90 ? d : d >= 270 ? 90 + (360 - d) % 360 : 0);
      } else if (k == "direction") {
        if (v == "ttb") p.rotation = 255;
      } else if (k == "cell-protect") {
        p.locked = v.find("protected") != std::string_view::npos;
        p.hidden = v.find("hidden") != std::string_view::npos;
      } else if (k == "text-align-source") {
        p.alignFromValue = v == "value-type";
        if (p.alignFromValue) p.hAlign = HAlign::General;
      } else if (k == "repeat-content") {
        if (v == "true") p.hAlign = HAlign::Fill;
      }
    } else if (element == "paragraph-properties") {
      if (k == "text-align" && !p.alignFromValue && p.hAlign != HAlign::Fill) {
        if (v == "start" || v == "left") p.hAlign = HAlign::Left;
        else if (v == "center") p.hAlign = HAlign::Center;
        else if (v == "end" || v == "right") p.hAlign = HAlign::Right;
        else if (v == "justify") p.hAlign = HAlign::Justify;
      }
    }
  }
}

void OdsStyleSheet::startDataElement(std::string_view name, const char** a) {
  DataStyle& d = *data_;
  std::string& c = d.code;
  if (c.size() > 512) return;  // no sane format gets this long
  if (inEmbedded_) return;
  bool firstTime = d.elapsed && !d.timeSeen;
  if (name == "number") {
    const char* dec = Attr(a, "decimal-places");
    int ints = IntAttr(a, "min-integer-digits", 1);
    bool grouping = Is(Attr(a, "grouping"), "true");
    if (!dec && !grouping && d.kind == DataKind::Number && ints <= 1) {
      c += "General";
    } else {
      int decimals = dec ? IntAttr(a, "decimal-places", 0) : 0;
      int minDecimals = IntAttr(a, "min-decimal-places", decimals);
      minDecimals = std::min(minDecimals, decimals);
      int width = std::max(ints, grouping ? 4 : 1);
      std::string digits;
      for (int i = 0; i < width; ++i) digits += i >= width - ints ? '0' : '#';
      if (grouping) digits.insert(digits.size() - 3, ",");
      c += digits;
      if (decimals > 0) {
        c += '.';
        c.append(static_cast<size_t>(minDecimals), '0');
        c.append(static_cast<size_t>(decimals - minDecimals), '#');
      }
      if (const char* f = Attr(a, "display-factor")) {
        double factor = 0;
        std::from_chars(f, f + std::strlen(f), factor);
        for (; factor >= 1000 - 0.5; factor /= 1000) c += ',';
      }
    }
  } else if (name == "embedded-text") {
    inEmbedded_ = true;
  } else if (name == "scientific-number") {
    int ints = IntAttr(a, "min-integer-digits", 1);
    int decimals = IntAttr(a, "decimal-places", 0);
    int expDigits = std::max(1, IntAttr(a, "min-exponent-digits", 2));
    if (IntAttr(a, "exponent-interval", 1) == 3) c += "##";
    c.append(static_cast<size_t>(std::max(ints, 1)), '0');
    if (decimals > 0) {
      c += '.';
      c.append(static_cast<size_t>(decimals), '0');
    }
    c += "E+";
    c.append(static_cast<size_t>(expDigits), '0');
  } else if (name == "fraction") {
    if (Attr(a, "min-integer-digits")) c += IntAttr(a, "min-integer-digits", 0) > 0 ? "0 " : "# ";
    c.append(static_cast<size_t>(std::max(1, IntAttr(a, "min-numerator-digits", 1))), '?');
    c += '/';
    int denominator = 0;
    if (const char* dv = Attr(a, "denominator-value")) std::from_chars(dv, dv + std::strlen(dv), denominator);
    if (denominator > 0) {
      c += std::to_string(denominator);
    } else {
      c.append(static_cast<size_t>(std::max(1, IntAttr(a, "min-denominator-digits", 1))), '?');
    }
  } else if (name == "text" || name == "currency-symbol" || name == "fill-character") {
    textBuf_.clear();
    collect_ = &textBuf_;
  } else if (name == "text-content") {
    c += '@';
  } else if (name == "day") {
    c += Is(Attr(a, "style"), "long") ? "dd" : "d";
  } else if (name == "month") {
    bool lng = Is(Attr(a, "style"), "long");
    c += Is(Attr(a, "textual"), "true") ? (lng ? "mmmm" : "mmm") : (lng ? "mm" : "m");
  } else if (name == "year") {
    c += Is(Attr(a, "style"), "long") ? "yyyy" : "yy";
  } else if (name == "day-of-week") {
    c += Is(Attr(a, "style"), "long") ? "dddd" : "ddd";
  } else if (name == "hours" || name == "minutes" || name == "seconds") {
    std::string unit = name == "hours" ? "h" : name == "minutes" ? "m" : "s";
    if (Is(Attr(a, "style"), "long")) unit += unit;
    if (firstTime) unit = "[" + unit + "]";
    c += unit;
    if (name == "seconds") {
      int dec = IntAttr(a, "decimal-places", 0);
      if (dec > 0) {
        c += '.';
        c.append(static_cast<size_t>(std::min(dec, 3)), '0');
      }
    }
    d.timeSeen = true;
  } else if (name == "am-pm") {
    c += "AM/PM";
  } else if (name == "text-properties") {
    if (const char* col = Attr(a, "color"))
      if (auto rgb = ParseColor(col)) d.color = *rgb;
  } else if (name == "map") {
    const char* cond = Attr(a, "condition");
    const char* target = Attr(a, "apply-style-name");
    if (cond && target && d.maps.size() < 4) d.maps.emplace_back(cond, target);
  }
}

void OdsStyleSheet::endDataElement(std::string_view name) {
  if (name == "embedded-text") {
    inEmbedded_ = false;
    return;
  }
  if (!collect_ || inEmbedded_) return;
  DataStyle& d = *data_;
  if (name == "text") {
    AppendLiteral(d.code, textBuf_, d.kind == DataKind::Percentage);
  } else if (name == "currency-symbol") {
    if (textBuf_.empty() || textBuf_ == "$") d.code += '$';
    else AppendLiteral(d.code, textBuf_, false);
  } else if (name == "fill-character") {
    if (!textBuf_.empty()) {
      d.code += '*';
      d.code += textBuf_[0] == '"' ? ' ' : textBuf_[0];
    }
  }
  collect_ = nullptr;
}

std::string OdsStyleSheet::sectionCode(const DataStyle& d) const {
  if (d.kind == DataKind::Boolean) return "General";
  std::string code = ColorTag(d.color);
  code += d.code.empty() ? "General" : d.code;
  return code;
}

std::string OdsStyleSheet::formatCode(std::string_view dataStyle) const {
  auto it = dataStyles_.find(std::string(dataStyle));
  if (it == dataStyles_.end()) return "General";
  const DataStyle& d = it->second;
  std::string main = sectionCode(d);
  if (d.maps.empty() || d.kind == DataKind::Boolean) return main;
  std::string pos, neg, zero, custom;
  for (auto& [cond, target] : d.maps) {
    auto t = dataStyles_.find(target);
    if (t == dataStyles_.end()) continue;
    std::string sub = sectionCode(t->second);
    std::string c;
    for (char ch : cond)
      if (ch != ' ') c += ch;
    if (c.rfind("value()", 0) == 0) c.erase(0, 7);
    if (c == ">=0" || c == ">0") pos = sub;
    else if (c == "<0") neg = sub;
    else if (c == "=0") zero = sub;
    else if (custom.empty() && !c.empty()) custom = "[" + c + "]" + sub;
  }
  if (!custom.empty()) return custom + ";" + main;
  bool text = d.kind == DataKind::Text;
  if (!pos.empty() && !neg.empty() && !zero.empty()) return pos + ";" + neg + ";" + zero + (text ? ";" + main : "");
  if (!pos.empty() && !neg.empty()) return pos + ";" + neg + ";" + main;
  if (!pos.empty()) return pos + ";" + main;
  if (!neg.empty()) return main + ";" + neg;
  if (!zero.empty()) return main + ";" + main + ";" + zero;
  return main;
}

double OdsStyleSheet::columnWidth(std::string_view styleName) const {
  auto it = columnWidths_.find(std::string(styleName));
  return it == columnWidths_.end() ? -1 : it->second;
}

double OdsStyleSheet::rowHeight(std::string_view styleName) const {
  auto it = rowHeights_.find(std::string(styleName));
  return it == rowHeights_.end() ? -1 : it->second;
}

bool OdsStyleSheet::tableHidden(std::string_view styleName) const {
  auto it = tableHidden_.find(std::string(styleName));
  return it != tableHidden_.end() && it->second;
}

void OdsStyleSheet::apply(const CellProps& p, Style& s) const {
  if (p.hasDataStyle) s.numFmt = formatCode(p.dataStyle);
  // The face may be declared in the other document: looked up only now.
  if (p.fontFace) {
    auto it = fontFaces_.find(*p.fontFace);
    s.fontName = it != fontFaces_.end() ? it->second : *p.fontFace;
  } else if (p.fontFamily) {
    s.fontName = *p.fontFamily;
  }
  if (p.size) s.fontSize = *p.size;
  if (p.bold) s.bold = *p.bold;
  if (p.italic) s.italic = *p.italic;
  if (p.strike) s.strike = *p.strike;
  if (p.underline) s.underline = *p.underline;
  if (p.color) s.fontColor = *p.color;
  if (p.background) {
    s.pattern = *p.background == kAutoColor ? FillPattern::None : FillPattern::Solid;
    s.fillFg = *p.background;
    s.fillBg = kAutoColor;
  }
  if (p.border[0]) s.left = *p.border[0];
  if (p.border[1]) s.right = *p.border[1];
  if (p.border[2]) s.top = *p.border[2];
  if (p.border[3]) s.bottom = *p.border[3];
  // One diagonal line style serves both directions: the one given last wins.
  for (auto [side, flag] : {std::pair{&p.diagonalUp, &s.diagonalUp}, std::pair{&p.diagonalDown, &s.diagonalDown}}) {
    if (!*side) continue;
    *flag = (*side)->style != BorderStyle::None;
    if (*flag) s.diagonal = **side;
  }
  if (!s.diagonalUp && !s.diagonalDown) s.diagonal = BorderSide{};
  if (p.hAlign) s.hAlign = *p.hAlign;
  if (p.vAlign) s.vAlign = *p.vAlign;
  if (p.wrap) s.wrap = *p.wrap;
  if (p.shrink) s.shrink = *p.shrink;
  if (p.rotation) s.rotation = *p.rotation;
  if (p.locked) s.locked = *p.locked;
  if (p.hidden) s.hidden = *p.hidden;
}

Style OdsStyleSheet::resolveStyle(std::string_view name) const {
  // What a spreadsheet program shows when a file says nothing: its own default font.
  Style s;
  s.fontName = "Liberation Sans";
  s.fontSize = 10;
  if (defaultStyle_) apply(*defaultStyle_, s);
  std::vector<const CellProps*> chain;
  std::string at(name);
  while (!at.empty() && chain.size() < 16) {
    auto it = cellStyles_.find(at);
    if (it == cellStyles_.end()) break;
    chain.push_back(&it->second);
    at = it->second.parent;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) apply(**it, s);
  return s;
}

void OdsStyleSheet::resolve(StyleTable& out) {
  out.styles.clear();
  index_.clear();
  out.styles.push_back(resolveStyle("Default"));
  std::unordered_map<Style, uint32_t, StyleHash> seen;
  seen.emplace(out.styles[0], 0);
  // Sorted names: the table comes out the same on every run.
  std::map<std::string_view, const CellProps*> names;
  for (auto& [n, p] : cellStyles_) names.emplace(n, &p);
  for (auto& [n, p] : names) {
    Style s = resolveStyle(n);
    auto [it, fresh] = seen.emplace(s, static_cast<uint32_t>(out.styles.size()));
    if (fresh) out.styles.push_back(std::move(s));
    index_.emplace(std::string(n), it->second);
  }
}

uint32_t OdsStyleSheet::index(std::string_view name) const {
  auto it = index_.find(name);
  return it == index_.end() ? 0 : it->second;
}

}  // namespace corvane
