#include "engine/xls/xls_formats.h"

#include <algorithm>
#include <cmath>

#include "engine/core/biff_common.h"
#include "engine/core/builtin_formats.h"
#include "engine/core/model.h"

namespace corvane::xls {

using biff::F64;
using biff::U16;
using biff::U32;

void ReadXfExt(const uint8_t* d, size_t n, std::vector<RawXf>& xfs) {
  if (n < 20) return;
  uint16_t ixfe = U16(d + 14);
  if (ixfe >= xfs.size()) return;
  size_t p = 20;
  for (uint16_t k = U16(d + 18); k > 0 && n - p >= 4; --k) {
    uint16_t type = U16(d + p), cb = U16(d + p + 2);
    if (cb < 4 || cb > n - p) return;
    const uint8_t* g = d + p + 4;
    size_t len = cb - 4u;
    // XFExtGradient: type, angle, the four edges of the inner rectangle, then the stops.
    if (type == 0x0006 && len >= 48) {
      RawGradient& out = xfs[ixfe].gradient;
      out.type = U32(g) == 1 ? Gradient::Type::Path : Gradient::Type::Linear;
      out.degree = F64(g + 4);
      out.left = F64(g + 12);
      out.right = F64(g + 20);
      out.top = F64(g + 28);
      out.bottom = F64(g + 36);
      size_t count = std::min<size_t>(U32(g + 44), (len - 48) / 22);
      out.stops.clear();
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* st = g + 48 + 22 * i;
        out.stops.push_back({U16(st), U32(st + 2), F64(st + 6), F64(st + 14)});
      }
    }
    p += cb;
  }
}

std::shared_ptr<const StyleTable> BuildStyles(const std::vector<RawFont>& fonts,
                                              const std::unordered_map<uint16_t, std::string>& formats,
                                              const std::vector<RawXf>& xfs, size_t defaultXf,
                                              const Rgb (&palette)[64], bool date1904) {
  auto color = [&](uint16_t icv) {
    // 64 and above are the system's window colours and "automatic": left to the application.
    return icv >= 64 ? kAutoColor : palette[icv];
  };
  auto table = std::make_shared<StyleTable>();
  table->date1904 = date1904;
  auto style = [&](const RawXf& x) {
    Style s;
    auto f = formats.find(x.fmt);
    s.numFmt = f != formats.end() ? f->second : std::string(BuiltinNumFmt(x.fmt));
    size_t fi = x.font >= 4 ? x.font - 1u : x.font;  // font 4 is never written
    RawFont font = fi < fonts.size() ? fonts[fi] : fonts.empty() ? RawFont{} : fonts[0];
    s.fontName = font.name;
    s.fontSize = font.size;
    s.bold = font.bold;
    s.italic = font.italic;
    s.strike = font.strike;
    s.underline = font.underline;
    s.fontColor = color(font.color);
    s.pattern = x.pattern <= static_cast<uint8_t>(FillPattern::Gray0625) ? static_cast<FillPattern>(x.pattern)
                                                                          : FillPattern::None;
    if (s.pattern != FillPattern::None) {
      s.fillFg = color(x.fg);
      s.fillBg = color(x.bg);
    }
    if (!x.gradient.stops.empty()) {
      // The gradient is the fill; the XF's own fill is what older versions show instead.
      const RawGradient& rg = x.gradient;
      s.pattern = FillPattern::None;
      s.fillFg = s.fillBg = kAutoColor;
      s.gradient.type = rg.type;
      auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
      if (rg.type == Gradient::Type::Linear) {
        s.gradient.degree = std::isfinite(rg.degree) ? rg.degree : 0;
      } else {
        s.gradient.left = unit(rg.left);
        s.gradient.right = unit(rg.right);
        s.gradient.top = unit(rg.top);
        s.gradient.bottom = unit(rg.bottom);
      }
      for (const RawGradient::Stop& st : rg.stops) {
        Rgb c = kAutoColor;
        if (st.kind == 1) c = color(static_cast<uint16_t>(st.value));
        else if (st.kind == 2) c = ((st.value & 0xFF) << 16) | (st.value & 0xFF00) | ((st.value >> 16) & 0xFF);
        else if (st.kind == 3) c = OfficeThemeColor(static_cast<int>(st.value));
        if (c != kAutoColor && std::isfinite(st.tint) && st.tint != 0) c = Tinted(c, st.tint);
        s.gradient.stops.push_back({unit(st.position), c});
      }
    }
    auto side = [&](uint8_t dg, uint8_t icv) {
      BorderSide b;
      if (dg > 0 && dg <= static_cast<uint8_t>(BorderStyle::SlantDashDot)) {
        b.style = static_cast<BorderStyle>(dg);
        b.color = color(icv);
      }
      return b;
    };
    s.left = side(x.left, x.leftColor);
    s.right = side(x.right, x.rightColor);
    s.top = side(x.top, x.topColor);
    s.bottom = side(x.bottom, x.bottomColor);
    if (x.diagonalUp || x.diagonalDown) {
      s.diagonal = side(x.diagonal, x.diagonalColor);
      s.diagonalUp = x.diagonalUp && s.diagonal.style != BorderStyle::None;
      s.diagonalDown = x.diagonalDown && s.diagonal.style != BorderStyle::None;
    }
    s.hAlign = x.hAlign <= 7 ? static_cast<HAlign>(x.hAlign) : HAlign::General;
    static constexpr VAlign kV[5] = {VAlign::Top, VAlign::Center, VAlign::Bottom, VAlign::Justify, VAlign::Distributed};
    s.vAlign = x.vAlign < 5 ? kV[x.vAlign] : VAlign::Bottom;
    s.wrap = x.wrap;
    s.shrink = x.shrink;
    s.indent = x.indent;
    s.rotation = (x.rotation <= 180 || x.rotation == 255) ? x.rotation : 0;
    s.locked = x.locked;
    s.hidden = x.hidden;
    return s;
  };
  if (xfs.empty()) {
    table->styles.push_back(style(RawXf{}));
    return table;
  }
  table->styles.reserve(xfs.size() + 1);
  table->styles.push_back(style(xfs[defaultXf]));
  for (const RawXf& x : xfs) table->styles.push_back(style(x));
  return table;
}

}  // namespace corvane::xls
