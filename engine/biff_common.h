// Little helpers shared by the BIFF record reader and the formula decompiler.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/model.h"
#include "engine/utf8.h"

namespace corvane::biff {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
inline double F64(const uint8_t* p) {
  double d;
  std::memcpy(&d, p, 8);
  return d;
}

using corvane::AppendUtf8;

// Characters stored one byte each: the low half of UTF-16, i.e. Latin-1.
inline void AppendLatin1(std::string& out, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x80) out += static_cast<char>(p[i]);
    else AppendUtf8(out, p[i]);
  }
}

// UTF-16LE code units; `pendingHigh` carries a high surrogate across calls (0 when none).
inline void AppendUtf16(std::string& out, const uint8_t* p, size_t units, uint32_t& pendingHigh) {
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = U16(p + 2 * i);
    if (pendingHigh) {
      if (c >= 0xDC00 && c <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (c - 0xDC00));
        pendingHigh = 0;
        continue;
      }
      AppendUtf8(out, 0xFFFD);
      pendingHigh = 0;
    }
    if (c >= 0xD800 && c <= 0xDBFF) pendingHigh = c;
    else if (c >= 0xDC00 && c <= 0xDFFF) AppendUtf8(out, 0xFFFD);
    else AppendUtf8(out, c);
  }
}
inline void AppendUtf16(std::string& out, const uint8_t* p, size_t units) {
  uint32_t high = 0;
  AppendUtf16(out, p, units, high);
  if (high) AppendUtf8(out, 0xFFFD);
}

// The error a BIFF error byte stands for (.xls and .xlsb share the codes); `otherwise` for a
// byte that is none.
inline ErrorCode ErrorFromBiff(uint8_t v, ErrorCode otherwise = ErrorCode::NA) {
  switch (v) {
    case 0x00: return ErrorCode::Null;
    case 0x07: return ErrorCode::Div0;
    case 0x0F: return ErrorCode::Value;
    case 0x17: return ErrorCode::Ref;
    case 0x1D: return ErrorCode::Name;
    case 0x24: return ErrorCode::Num;
    case 0x2A: return ErrorCode::NA;
    case 0x2B: return ErrorCode::GettingData;
    default: return otherwise;
  }
}

}  // namespace corvane::biff
