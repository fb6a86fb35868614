#include "engine/core/number_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace corvane {

namespace {

// Exact powers of ten: a double holds each of them without rounding.
constexpr double kExactPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Most values are short decimals ("12", "-3.25"). When all their digits fit a double
// exactly, one division by an exact power of ten rounds just as from_chars does.
bool ParseShortDecimal(const char* p, const char* e, double& out) {
  bool negative = p < e && *p == '-';
  if (negative) ++p;
  uint64_t mantissa = 0;
  int digits = 0, decimals = -1;
  for (; p < e; ++p) {
    if (IsDigit(*p)) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if (*p == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return false;
    }
    if (digits > 15) return false;
  }
  if (digits == 0) return false;
  double v = static_cast<double>(mantissa);
  if (decimals > 0) v /= kExactPow10[decimals];
  out = negative ? -v : v;
  return true;
}

// For a number text that from_chars found out of range: whether it stands for a value of
// 1 or more (it overflowed) rather than below 1 (it underflowed). [b, e) holds digits with
// an optional point and an optional exponent, no sign.
bool AtLeastOne(const char* b, const char* e) {
  int64_t intDigits = 0, leadingZeros = 0;
  bool point = false, significant = false;
  const char* p = b;
  for (; p < e && (IsDigit(*p) || *p == '.'); ++p) {
    if (*p == '.') {
      point = true;
    } else if (!significant && *p == '0') {
      if (point) ++leadingZeros;
    } else {
      significant = true;
      if (!point) ++intDigits;
    }
  }
  if (!significant) return false;
  // The power of ten of the first digit that is not 0.
  int64_t magnitude = intDigits > 0 ? intDigits - 1 : -(leadingZeros + 1);
  int64_t exponent = 0;
  if (p < e && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative = p < e && *p == '-';
    if (p < e && (*p == '+' || *p == '-')) ++p;
    for (; p < e && IsDigit(*p); ++p)
      if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent >= 0;
}

}  // namespace

bool ParseNumberText(std::string_view text, double& out) {
  const char* b = text.data();
  const char* e = b + text.size();
  if (ParseShortDecimal(b, e, out)) return true;
  while (b < e && IsXmlSpace(*b)) ++b;
  while (e > b && IsXmlSpace(e[-1])) --e;
  bool negative = false;
  if (b < e && (*b == '+' || *b == '-')) negative = *b++ == '-';
  // from_chars would also take "inf", "nan" and a second sign.
  if (b == e || !(IsDigit(*b) || *b == '.')) return false;
  double v = 0;
  auto r = std::from_chars(b, e, v, std::chars_format::general);
  if (r.ptr != e) return false;
  if (r.ec == std::errc::result_out_of_range) v = AtLeastOne(b, e) ? DBL_MAX : 0.0;
  else if (r.ec != std::errc()) return false;
  out = negative && v != 0 ? -v : v;
  return true;
}

void AppendFormulaNumber(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "#NUM!";
    return;
  }
  char buf[40];
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(v));
    out.append(buf, r.ptr);
    return;
  }
  // Shortest digits that read back as the same double, laid out the way Excel shows them.
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<size_t>(r.ptr - buf));
  size_t e = sci.find('e');
  int exp = 0;
  std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+'), sci.data() + sci.size(), exp);
  bool negative = sci[0] == '-';
  char digits[24];
  size_t n = 0;
  for (char c : sci.substr(negative, e - negative))
    if (c != '.') digits[n++] = c;
  std::string_view d(digits, n);
  if (negative) out += '-';
  if (exp >= -10 && exp < 15) {
    if (exp < 0) {
      out += "0.";
      out.append(static_cast<size_t>(-exp - 1), '0');
      out += d;
    } else {
      size_t intDigits = static_cast<size_t>(exp) + 1;
      if (d.size() <= intDigits) {
        out += d;
        out.append(intDigits - d.size(), '0');
      } else {
        out += d.substr(0, intDigits);
        out += '.';
        out += d.substr(intDigits);
      }
    }
    return;
  }
  out += d[0];
  if (d.size() > 1) {
    out += '.';
    out += d.substr(1);
  }
  out += 'E';
  out += exp < 0 ? '-' : '+';
  int a = exp < 0 ? -exp : exp;
  if (a < 10) out += '0';  // "1E+20" and "1E-05", as Excel writes them
  auto x = std::to_chars(buf, buf + sizeof buf, a);
  out.append(buf, x.ptr);
}

void AppendShortestNumber(std::string& out, double v) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

}  // namespace corvane
