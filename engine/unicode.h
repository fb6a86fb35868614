// UTF-8 output shared by every reader: one code point encoded, and UTF-16 code units
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
