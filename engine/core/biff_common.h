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
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
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

// Reads the little-endian fields of a record body or a token stream, each read checked
// against what remains: one that runs past the end throws `Short`.
template <typename Short>
class FieldReader {
 public:
  FieldReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

  size_t left() const { return static_cast<size_t>(end_ - p_); }
  const uint8_t* here() const { return p_; }
  void need(size_t n) const {
    if (left() < n) throw Short{};
  }
  void skip(size_t n) {
    need(n);
    p_ += n;
  }
  uint8_t u8() {
    need(1);
    return *p_++;
  }
  uint16_t u16() {
    need(2);
    p_ += 2;
    return U16(p_ - 2);
  }
  uint32_t u32() {
    need(4);
    p_ += 4;
    return U32(p_ - 4);
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  double f64() {
    need(8);
    p_ += 8;
    return F64(p_ - 8);
  }
  // `count` characters, one byte each (Latin-1) or UTF-16 units.
  void chars(size_t count, bool wide, std::string& out) {
    if (count > left() / (wide ? 2 : 1)) throw Short{};
    if (wide) AppendUtf16Le(out, p_, count);
    else AppendLatin1(out, p_, count);
    p_ += wide ? count * 2 : count;
  }

 protected:
  const uint8_t* p_;
  const uint8_t* end_;
};

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
