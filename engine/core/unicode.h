// UTF-8 shared by every reader and the writer: one code point encoded, one character read
// with full validation, and UTF-16 code units
// (binary records, directory names, the _xHHHH_ escapes of OOXML text) decoded with their
// surrogate pairs joined. A surrogate without its partner becomes U+FFFD, so the text
// that comes out is always valid UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

inline constexpr uint32_t kReplacementChar = 0xFFFD;

// Writes the code point `cp` (at most U+10FFFF) to out[0..3]; returns the bytes written.
inline size_t EncodeUtf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

inline void AppendUtf8(std::string& out, uint32_t cp) {
  char buf[4];
  out.append(buf, EncodeUtf8(cp, buf));
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

// UTF-16 code units to UTF-8, one unit at a time, so that a pair may be split across
// pieces of a record. Call finish() when the text ends.
class Utf16Decoder {
 public:
  void put(std::string& out, uint32_t unit) {
    if (unit < 0x80 && !high_) {  // plain ASCII, the common case
      out.push_back(static_cast<char>(unit));
      return;
    }
    if (high_) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
        return;
      }
      AppendUtf8(out, kReplacementChar);
      high_ = 0;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) high_ = unit;
    else if (unit >= 0xDC00 && unit <= 0xDFFF) AppendUtf8(out, kReplacementChar);
    else AppendUtf8(out, unit);
  }
  // A high surrogate still waiting for its partner gives way: it stood alone.
  void finish(std::string& out) {
    if (high_) AppendUtf8(out, kReplacementChar);
    high_ = 0;
  }

 private:
  uint32_t high_ = 0;
};

// UTF-16LE code units at p, each two bytes.
inline void AppendUtf16Le(std::string& out, const uint8_t* p, size_t units, Utf16Decoder& decoder) {
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = static_cast<uint32_t>(p[2 * i] | (p[2 * i + 1] << 8));
    decoder.put(out, u);
  }
}
inline void AppendUtf16Le(std::string& out, const uint8_t* p, size_t units) {
  Utf16Decoder decoder;
  AppendUtf16Le(out, p, units, decoder);
  decoder.finish(out);
}

}  // namespace corvane
