// Little helpers shared by the BIFF record reader and the formula decompiler.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/core/model.h"
#include "engine/core/unicode.h"

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

// Characters stored one byte each: the low half of UTF-16, i.e. Latin-1.
inline void AppendLatin1(std::string& out, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) AppendUtf8(out, p[i]);
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
