// UTF-8: encoding a code point and reading one character with full validation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

inline constexpr uint32_t kReplacementChar = 0xFFFD;

// Appends code point `c` (at most U+10FFFF) as UTF-8.
inline void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads the character at p (p < e): its length in bytes with the code point in `cp`, or 0
// when the bytes there are no well-formed UTF-8 (a stray continuation byte, an overlong
// form, a surrogate, a code point past U+10FFFF, a sequence cut by e).
inline size_t DecodeUtf8(const char* p, const char* e, uint32_t& cp) {
  auto b0 = static_cast<unsigned char>(*p);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (static_cast<size_t>(e - p) < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    auto b = static_cast<unsigned char>(p[i]);
    if (i == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return n;
}

}  // namespace corvane
