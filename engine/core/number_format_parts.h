// The inner parts of number formats, shared by the compiler (number_format_compiler.cpp),
// the renderers (number_format_render.cpp) and NumberFormat (number_format.cpp): the
// stack-built output text, the 15-digit decimal form of a number, and a compiled section.
// Nothing outside those files includes this.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/number_format.h"
#include "engine/core/number_text.h"
#include "engine/core/palette.h"

namespace corvane::numfmt {

// ---------------------------------------------------------------------------
// Output without heap traffic: the text is built on the stack and copied once
// into the returned string; only a very long text spills to the heap.

class Out {
 public:
  explicit Out(const Separators& separators) : separators_(separators) {}
  void Put(char c) {
    if (spilled_) {
      heap_.push_back(c);
    } else if (n_ < kCap) {
      buf_[n_++] = c;
    } else {
      Spill();
      heap_.push_back(c);
    }
  }
  void Put(std::string_view s) {
    if (!spilled_ && n_ + s.size() <= kCap) {
      std::memcpy(buf_ + n_, s.data(), s.size());
      n_ += s.size();
      return;
    }
    if (!spilled_) Spill();
    heap_.append(s);
  }
  // The decimal point and the thousands separator of the reader's language.
  void PutPoint() { Put(separators_.Decimal()); }
  void PutGroup() { Put(separators_.Group()); }
  void Repeat(char c, int k) {
    for (int i = 0; i < k; ++i) Put(c);
  }
  void PutInt(int64_t v, int minDigits) {
    char tmp[24];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    for (int pad = minDigits - static_cast<int>(r.ptr - tmp); pad > 0; --pad) Put('0');
    Put(std::string_view(tmp, static_cast<size_t>(r.ptr - tmp)));
  }
  void Clear() {
    n_ = 0;
    spilled_ = false;
    heap_.clear();
  }
  std::string Take() { return spilled_ ? std::move(heap_) : std::string(buf_, n_); }

 private:
  static constexpr size_t kCap = 160;
  void Spill() {
    heap_.assign(buf_, n_);
    spilled_ = true;
  }
  const Separators& separators_;
  char buf_[kCap];
  size_t n_ = 0;
  bool spilled_ = false;
  std::string heap_;
};

// ---------------------------------------------------------------------------
// A number as the spreadsheet keeps it for display: 15 significant decimal
// digits, so that 2.345 rounds to 2.35 although the double is a hair below.

struct Dec {
  char d[24];  // significant digits, no trailing zeros; n == 0 is zero
  int n = 0;
  int e = 0;   // value = d[0].d[1]d[2]... x 10^e

  bool Zero() const { return n == 0; }
  // The digit standing for 10^pow.
  char At(int pow) const {
    int i = e - pow;
    return i >= 0 && i < n ? d[i] : '0';
  }
  // How many digits the integer part has (0 for a value below 1).
  int IntLen() const { return n == 0 || e < 0 ? 0 : e + 1; }

  void Trim() {
    while (n > 0 && d[n - 1] == '0') --n;
  }
  // Rounds half away from zero to `decimals` places after the point.
  void Round(int decimals) {
    int keep = e + 1 + decimals;  // digits that stay
    if (keep >= n) return;
    if (keep < 0) {
      n = 0;
      return;
    }
    bool up = d[keep] >= '5';
    n = keep;
    if (up) {
      int i = n - 1;
      while (i >= 0 && d[i] == '9') d[i--] = '0';
      if (i >= 0) {
        ++d[i];
      } else {  // 9.99 -> 10.0: one digit more in front
        std::memmove(d + 1, d, static_cast<size_t>(n));
        d[0] = '1';
        ++n;
        ++e;
      }
    }
    Trim();
  }
  // Rounds to `digits` significant digits.
  void RoundSignificant(int digits) { Round(digits - 1 - e); }
};

inline Dec ToDec(double a) {  // a >= 0 and finite
  Dec r;
  if (a == 0) return r;
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
  const char* p = buf;
  r.d[r.n++] = *p++;
  if (p < res.ptr && *p == '.') ++p;
  while (p < res.ptr && *p != 'e') r.d[r.n++] = *p++;
  int exp = 0;
  if (p < res.ptr) std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exp);
  r.e = exp;
  r.Trim();
  return r;
}

// ---------------------------------------------------------------------------
// Compiled sections

enum class Tok : uint8_t {
  Literal,   // off/len in the pool
  Digit,     // ch '0' '#' '?', role in n
  Point,
  Percent,
  Exponent,  // ch 'E' or 'e'; n = 1 when a '+' shows for positive exponents
  Slash,     // of a fraction
  FixedDen,  // off = the denominator
  General,
  At,        // the text itself
  Year, Month, Day, Hour, Minute, Second,  // n = letters
  AmPm,      // ch 0 for AM/PM, else 'A' or 'a' for A/P in that case
  ElapsedH, ElapsedM, ElapsedS,            // n = letters
  FracSec,   // n = digits after the point
};

enum Role : uint8_t { kInt, kDec, kNum, kDen, kExp };

struct Token {
  Tok kind = Tok::Literal;
  char ch = 0;
  uint8_t n = 0;
  uint32_t off = 0, len = 0;
};

enum class Kind : uint8_t { Number, Scientific, Fraction, Date, Text };
enum class Op : uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
  Kind kind = Kind::Number;
  std::vector<Token> toks;
  Rgb color = kAutoColor;
  Op op = Op::None;
  double bound = 0;
  bool group = false;    // thousands separators
  bool engineering = false;  // scientific with ## in front: exponents in steps
  int intDigits = 0, decDigits = 0, numDigits = 0, denDigits = 0, expDigits = 0;
  int fixedDen = 0;
  int shift = 0;         // powers of ten: +2 per %, -3 per scaling comma
  int fracDigits = 0;    // shown fractions of a second
  bool ampm = false;
  bool sysDate = false, sysTime = false;  // [$-F800] / [$-F400]: the long date / time
};

// What a section is: text when it has @, a date when it has date or time letters
// outside quotes, escapes and brackets (or an [h] [m] [s]), else a number.
Kind ScanKind(std::string_view s);
// Compiles one section of kind `kind` into `sec`, its literal text into `pool`; false for a
// section that cannot be read.
bool CompileSection(std::string& pool, std::string_view s, Kind kind, Section& sec);
// Up to four sections split on ';' outside quotes, escapes and brackets.
bool SplitSections(std::string_view code, std::array<std::string_view, 4>& out, size_t& count);

// A number in General, without its sign.
void PutGeneral(Out& o, double a, bool negative);
// A number (its absolute value `a`) through a section of each kind.
void RenderFixed(Out& o, const Section& sec, const std::string& pool, double a, bool negative);
void RenderScientific(Out& o, const Section& sec, const std::string& pool, double a, bool negative);
void RenderFraction(Out& o, const Section& sec, const std::string& pool, double a, bool negative);
void RenderDate(Out& o, const Section& sec, const std::string& pool, double a, bool negative, bool date1904);
// A number met by a text section: @ stands for the number in General.
void RenderTextForNumber(Out& o, const Section& sec, const std::string& pool, double a, bool negative);
// Text through the text section.
void RenderText(Out& o, const Section& sec, const std::string& pool, std::string_view text);

}  // namespace corvane::numfmt
