#include "engine/core/style.h"

#include <functional>
#include <string_view>

namespace corvane {

namespace {

// 64-bit mix in the style of boost::hash_combine, with a stronger multiplier
// so that small field values (flags, enums) still spread over every bit.
inline void Mix(size_t& h, uint64_t v) {
  uint64_t x = v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  h ^= static_cast<size_t>(x);
}

inline uint64_t SideBits(const BorderSide& b) {
  return (static_cast<uint64_t>(b.style) << 32) | b.color;
}

}  // namespace

size_t StyleHash::operator()(const Style& s) const noexcept {
  std::hash<std::string_view> strHash;
  size_t h = strHash(s.numFmt);
  Mix(h, strHash(s.fontName));

  // fontSize: +0.0 and -0.0 compare equal, so they must hash alike.
  double size = s.fontSize == 0 ? 0.0 : s.fontSize;
  Mix(h, std::hash<double>{}(size));

  Mix(h, (uint64_t{s.bold} << 0) | (uint64_t{s.italic} << 1) | (uint64_t{s.strike} << 2) |
             (uint64_t{s.wrap} << 3) | (uint64_t{s.shrink} << 4) | (uint64_t{s.locked} << 5) |
             (uint64_t{s.hidden} << 6) | (static_cast<uint64_t>(s.underline) << 8) |
             (static_cast<uint64_t>(s.pattern) << 16) | (static_cast<uint64_t>(s.hAlign) << 24) |
             (static_cast<uint64_t>(s.vAlign) << 32) | (static_cast<uint64_t>(s.indent) << 40) |
             (static_cast<uint64_t>(static_cast<uint16_t>(s.rotation)) << 48));
  Mix(h, s.fontColor);
  Mix(h, (static_cast<uint64_t>(s.fillFg) << 32) | s.fillBg);
  Mix(h, SideBits(s.left));
  Mix(h, SideBits(s.right));
  Mix(h, SideBits(s.top));
  Mix(h, SideBits(s.bottom));
  Mix(h, SideBits(s.diagonal) ^ (uint64_t{s.diagonalUp} << 62) ^ (uint64_t{s.diagonalDown} << 63));
  for (const GradientStop& stop : s.gradient.stops) {
    Mix(h, std::hash<double>{}(stop.position == 0 ? 0.0 : stop.position));
    Mix(h, stop.color);
  }
  return h;
}

}  // namespace corvane
