#include "engine/core/number_format_parts.h"

// Rendering a number through a compiled section: General, fixed decimals, scientific,
// fractions, dates and times, and text.

namespace corvane::numfmt {

// ---------------------------------------------------------------------------
// General: as a spreadsheet shows it in a standard-width column. The column
// widens for whole numbers of up to 11 digits and for the scientific form,
// decimals are cut to fit 8 characters (sign included); 12 or more digits, and
// tiny values that would lose their digits, go to the 1.23457E+11 form.

constexpr int kGeneralWidth = 8;

void PutScientificGeneral(Out& o, const Dec& v) {
  Dec m = v;
  int exp = m.e;
  m.e = 0;
  m.Round(5);  // at most 6 significant digits
  exp += m.e;  // 9.999999 -> 10.0000
  m.e = 0;
  o.Put(m.d[0]);
  if (m.n > 1) {
    o.PutPoint();
    o.Put(std::string_view(m.d + 1, static_cast<size_t>(m.n - 1)));
  }
  o.Put('E');
  o.Put(exp < 0 ? '-' : '+');
  o.PutInt(exp < 0 ? -exp : exp, 2);
}

void PutFixedGeneral(Out& o, const Dec& v) {
  int len = v.IntLen();
  if (len == 0) o.Put('0');
  for (int pow = len - 1; pow >= 0; --pow) o.Put(v.At(pow));
  int last = v.n - 1 - v.e;  // the power of ten of the last digit, negated
  if (last > 0) {
    o.PutPoint();
    for (int k = 1; k <= last; ++k) o.Put(v.At(-k));
  }
}

// a >= 0; `negative` tells that a '-' stands in front, which takes room too.
void PutGeneral(Out& o, double a, bool negative) {
  Dec v = ToDec(a);
  if (v.Zero()) {
    o.Put('0');
    return;
  }
  int width = kGeneralWidth - (negative ? 1 : 0);
  if (v.e >= 0) {
    Dec r = v;
    r.Round(std::max(0, width - (v.e + 1) - 1));
    if (r.e >= 11) {
      PutScientificGeneral(o, v);
    } else {
      PutFixedGeneral(o, r);
    }
    return;
  }
  int decimals = width - 2;  // after "0."
  Dec r = v;
  r.RoundSignificant(10);
  if (r.n - 1 - r.e <= decimals) {  // every digit fits
    PutFixedGeneral(o, r);
  } else if (v.e >= -3) {  // 0.333333: worth showing in decimals
    r = v;
    r.Round(decimals);
    PutFixedGeneral(o, r);
  } else {
    PutScientificGeneral(o, v);
  }
}

// ---------------------------------------------------------------------------
// Rendering

std::string_view PoolText(const std::string& pool, const Token& t) {
  return std::string_view(pool).substr(t.off, t.len);
}

// One integer placeholder: idx counts the placeholders from the left, of
// `count`; the first one also takes the digits that have no placeholder.
void PutIntDigit(Out& o, const Dec& v, int count, int idx, char ph, bool group) {
  int len = v.IntLen();
  int pos = count - 1 - idx;  // power of ten this placeholder stands for
  auto comma = [&](int p) {
    if (group && p > 0 && p % 3 == 0) {
      if (ph == '?' && p >= len) o.Put(' ');
      else o.PutGroup();
    }
  };
  if (idx == 0 && len > count) {
    for (int p = len - 1; p >= pos; --p) {
      o.Put(v.At(p));
      comma(p);
    }
    return;
  }
  if (pos < len) {
    o.Put(v.At(pos));
  } else if (ph == '0') {
    o.Put('0');
  } else if (ph == '?') {
    o.Put(' ');
  } else {
    return;
  }
  comma(pos);
}

// The decimals shown: the last one that is not a zero, as a count.
int SignificantDecimals(const Dec& v, int decimals) {
  int last = 0;
  for (int j = 1; j <= decimals; ++j)
    if (v.At(-j) != '0') last = j;
  return last;
}

void PutDecDigit(Out& o, const Dec& v, int j, int significant, char ph) {
  if (j <= significant || ph == '0') {
    o.Put(v.At(-j));
  } else if (ph == '?') {
    o.Put(' ');
  }
}

void RenderFixed(Out& o, const Section& sec, const std::string& pool, double a, bool negative) {
  Dec v = ToDec(a);
  if (!v.Zero()) v.e += sec.shift;
  v.Round(sec.decDigits);
  int significant = SignificantDecimals(v, sec.decDigits);
  if (negative) o.Put('-');
  int intIdx = 0, decIdx = 0;
  for (const Token& t : sec.toks) {
    switch (t.kind) {
      case Tok::Literal: o.Put(PoolText(pool, t)); break;
      case Tok::Digit:
        if (t.n == kInt) {
          PutIntDigit(o, v, sec.intDigits, intIdx++, t.ch, sec.group);
        } else {
          PutDecDigit(o, v, ++decIdx, significant, t.ch);
        }
        break;
      case Tok::Point:
        if (sec.intDigits == 0)  // .00 still shows the whole part of 12.5
          for (int p = v.IntLen() - 1; p >= 0; --p) o.Put(v.At(p));
        o.PutPoint();
        break;
      case Tok::Percent: o.Put('%'); break;
      case Tok::General: PutGeneral(o, a, negative); break;
      default: break;
    }
  }
}

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void RenderScientific(Out& o, const Section& sec, const std::string& pool, double a, bool negative) {
  Dec v = ToDec(a);
  if (!v.Zero()) v.e += sec.shift;
  int exp = 0;
  Dec m = v;
  if (!v.Zero()) {
    auto exponentFor = [&](int e10) {
      if (sec.engineering) return FloorDiv(e10, sec.intDigits) * sec.intDigits;
      return e10 - std::max(sec.intDigits, 0) + 1;
    };
    exp = exponentFor(v.e);
    m.e = v.e - exp;
    m.Round(sec.decDigits);
    int e10 = m.e + exp;  // rounding may have added a digit: 9.99 -> 10.0
    if (int again = exponentFor(e10); again != exp) {
      m.e = e10 - again;
      exp = again;
    }
  }
  int significant = SignificantDecimals(m, sec.decDigits);
  if (negative) o.Put('-');
  int intIdx = 0, decIdx = 0;
  for (const Token& t : sec.toks) {
    switch (t.kind) {
      case Tok::Literal: o.Put(PoolText(pool, t)); break;
      case Tok::Digit:
        if (t.n == kInt) {
          PutIntDigit(o, m, sec.intDigits, intIdx++, t.ch, false);
        } else if (t.n == kDec) {
          PutDecDigit(o, m, ++decIdx, significant, t.ch);
        }
        break;
      case Tok::Point:
        if (sec.intDigits == 0)
          for (int p = m.IntLen() - 1; p >= 0; --p) o.Put(m.At(p));
        o.PutPoint();
        break;
      case Tok::Percent: o.Put('%'); break;
      case Tok::Exponent:
        o.Put(t.ch);
        if (exp < 0) {
          o.Put('-');
        } else if (t.n) {
          o.Put('+');
        }
        o.PutInt(exp < 0 ? -exp : exp, std::max(sec.expDigits, 1));
        break;
      case Tok::General: PutGeneral(o, a, negative); break;
      default: break;
    }
  }
}

// The fraction nearest to x (0 <= x < 1) with a denominator up to maxDen (smallest one on a
// tie). Numerators stay below denominators, so nothing here outgrows maxDen.
void NearestFraction(double x, int64_t maxDen, int64_t& num, int64_t& den) {
  int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
  double rest = x;
  bool denominatorFull = false;  // the next convergent needs a denominator above maxDen
  for (int guard = 0; guard < 64; ++guard) {
    double a = std::floor(rest);
    if (!(a <= 1e15)) break;
    int64_t ai = static_cast<int64_t>(a);
    if (q1 > 0 && ai > (maxDen - q0) / q1) {
      denominatorFull = true;
      break;
    }
    int64_t q2 = q0 + ai * q1;
    int64_t p2 = p0 + ai * p1;
    p0 = p1, q0 = q1, p1 = p2, q1 = q2;
    double frac = rest - a;
    if (frac < 1e-12 || std::fabs(static_cast<double>(p1) / static_cast<double>(q1) - x) < 1e-15) break;
    rest = 1 / frac;
  }
  if (q1 == 0) {  // not even one step: nought
    num = 0;
    den = 1;
    return;
  }
  num = p1, den = q1;
  if (!denominatorFull) return;
  // The best of the last convergent and the semiconvergent below it.
  int64_t k = (maxDen - q0) / q1;
  int64_t ps = p0 + k * p1, qs = q0 + k * q1;
  double errConv = std::fabs(static_cast<double>(p1) / static_cast<double>(q1) - x);
  double errSemi = qs > 0 ? std::fabs(static_cast<double>(ps) / static_cast<double>(qs) - x) : 1e300;
  if (errSemi < errConv) num = ps, den = qs;
}

void RenderFraction(Out& o, const Section& sec, const std::string& pool, double a, bool negative) {
  // The value as 15 significant digits show it (0.1+0.2 is 0.3 here too), its percent and
  // thousands scaling made on the digits, so 1E+307 as a percentage stays finite.
  Dec v = ToDec(a);
  if (!v.Zero()) v.e += sec.shift;
  // From 10^15 on the 15 digits hold no fraction: the whole number, its digits as they are.
  bool big = v.e >= 15;
  bool whole = sec.intDigits > 0;
  // The whole part and the fraction, each read from its own digits: 99999999999999.9 has
  // its .9 exactly, which the double of the whole value does not hold.
  double ip = 0, fr = 0;
  if (!big && !v.Zero()) {
    char buf[48];
    size_t len = 0;
    for (int p = v.IntLen() - 1; p >= 0; --p) buf[len++] = v.At(p);
    if (len > 0) std::from_chars(buf, buf + len, ip);
    len = 0;
    buf[len++] = '0';
    buf[len++] = '.';
    // Forty places at most: what lies below is nought to any denominator under 10^9.
    for (int p = -1; p >= std::max(v.e - (v.n - 1), -40); --p) buf[len++] = v.At(p);
    if (len > 2) std::from_chars(buf, buf + len, fr);
  }
  int64_t fnum = 0, den = 1;
  if (sec.fixedDen > 0) {
    den = sec.fixedDen;
    fnum = static_cast<int64_t>(std::llround(fr * static_cast<double>(den)));
  } else {
    int digits = std::min(sec.denDigits, 9);
    int64_t maxDen = 1;
    for (int i = 0; i < digits; ++i) maxDen *= 10;
    NearestFraction(fr, std::max<int64_t>(maxDen - 1, 1), fnum, den);
  }
  if (fnum == den) {  // 2.9999 as "# ?/?" is 3
    ip += 1;
    fnum = 0;
  }
  // Without a whole-number placeholder the whole part goes into the numerator: below 10^15
  // times a denominator below 10^9 that is up to 24 digits, so 128 bits; from 10^15 on the
  // numerator is the number's own digits over 1.
  bool blank = whole && fnum == 0;  // 5 in "# ?/?" shows as "5" and blanks
  Dec iv = big ? v : ToDec(ip);
  iv.Round(0);
  char numText[48], denText[24];
  int numLen = 0;
  std::string bigDigits;
  const char* numDigits = numText;
  if (whole) {
    numLen = static_cast<int>(std::to_chars(numText, numText + sizeof numText, fnum).ptr - numText);
  } else if (big) {
    for (int p = iv.IntLen() - 1; p >= 0; --p) bigDigits.push_back(iv.At(p));
    numDigits = bigDigits.data();
    numLen = static_cast<int>(bigDigits.size());
  } else {
    unsigned __int128 n = static_cast<unsigned __int128>(static_cast<uint64_t>(ip)) * static_cast<uint64_t>(den) +
                          static_cast<uint64_t>(fnum);
    char rev[48];
    do {
      rev[numLen++] = static_cast<char>('0' + static_cast<int>(n % 10));
      n /= 10;
    } while (n != 0);
    for (int i = 0; i < numLen; ++i) numText[i] = rev[numLen - 1 - i];
  }
  auto dr = std::to_chars(denText, denText + sizeof denText, den);
  int denLen = static_cast<int>(dr.ptr - denText);

  if (negative) o.Put('-');
  int intIdx = 0, numIdx = 0, denIdx = 0;
  for (const Token& t : sec.toks) {
    switch (t.kind) {
      case Tok::Literal: o.Put(PoolText(pool, t)); break;
      case Tok::Digit:
        if (t.n == kInt) {
          if (blank && iv.Zero() && intIdx == sec.intDigits - 1) {
            o.Put('0');  // nought in all: one 0 stands for it
            ++intIdx;
          } else {
            PutIntDigit(o, iv, sec.intDigits, intIdx++, t.ch, false);
          }
        } else if (t.n == kNum) {
          // The numerator stands right-aligned in its placeholders.
          int pos = sec.numDigits - 1 - numIdx++;
          if (blank) {
            if (t.ch != '#') o.Put(' ');
          } else if (numIdx == 1 && numLen > sec.numDigits) {
            o.Put(std::string_view(numDigits, static_cast<size_t>(numLen - pos)));
          } else if (pos < numLen) {
            o.Put(numDigits[numLen - 1 - pos]);
          } else if (t.ch == '0') {
            o.Put('0');
          } else if (t.ch == '?') {
            o.Put(' ');
          }
        } else if (t.n == kDen) {
          // The denominator stands left-aligned.
          int idx = denIdx++;
          bool lastPlaceholder = denIdx == sec.denDigits;
          if (blank) {
            if (t.ch != '#') o.Put(' ');
          } else if (idx < denLen) {
            o.Put(lastPlaceholder ? std::string_view(denText + idx, static_cast<size_t>(denLen - idx))
                                  : std::string_view(denText + idx, 1));
          } else if (t.ch == '?') {
            o.Put(' ');
          }
        }
        break;
      case Tok::Slash: o.Put(blank ? ' ' : '/'); break;
      case Tok::FixedDen:
        if (blank) {
          o.Repeat(' ', denLen);
        } else {
          o.Put(std::string_view(denText, static_cast<size_t>(denLen)));
        }
        break;
      case Tok::Percent: o.Put('%'); break;
      case Tok::General: PutGeneral(o, a, negative); break;
      default: break;
    }
  }
}

constexpr std::string_view kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
constexpr std::string_view kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

constexpr double kSerialLimit1900 = 2958466;  // 1 Jan 10000
constexpr double kOffset1904 = 1462;          // 1 Jan 1904 as a 1900 serial

struct Civil {
  int y, m, d;
};

// Days since 1 Jan 1970 to a proleptic Gregorian date.
Civil FromUnixDays(int64_t z) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  return {y, m, d};
}

void PutHashes(Out& o) { o.Put("#######"); }

void RenderDate(Out& o, const Section& sec, const std::string& pool, double a, bool negative, bool date1904) {
  double limit = date1904 ? kSerialLimit1900 - kOffset1904 : kSerialLimit1900;
  // The 1904 system shows negative times and dates with a sign (-2:30); 1900 cannot.
  if ((negative && !date1904) || !(a < limit)) {
    PutHashes(o);
    return;
  }
  if (negative) o.Put('-');
  int64_t scale = 1;
  for (int i = 0; i < sec.fracDigits; ++i) scale *= 10;
  const int64_t perDay = 86400 * scale;
  // Rounded to the smallest unit shown, so that 23:59:59.7 shows as the next day.
  int64_t total = static_cast<int64_t>(std::llround(a * 86400.0 * static_cast<double>(scale)));
  int64_t days = total / perDay;
  if (static_cast<double>(days) >= limit) {
    PutHashes(o);
    return;
  }
  int64_t inDay = total % perDay;
  int64_t secs = inDay / scale, sub = inDay % scale;
  int hour = static_cast<int>(secs / 3600), minute = static_cast<int>(secs / 60 % 60),
      second = static_cast<int>(secs % 60);

  Civil date;
  int weekday;  // 0 = Sunday
  if (date1904) {
    int64_t epochDays = days - 24107;
    date = FromUnixDays(epochDays);
    weekday = static_cast<int>(((epochDays + 4) % 7 + 7) % 7);
  } else {
    // 1900 counts 29 Feb 1900, a day that never was, as serial 60, and serial 0 as 0 Jan 1900.
    if (days == 0) {
      date = {1900, 1, 0};
    } else if (days == 60) {
      date = {1900, 2, 29};
    } else {
      date = FromUnixDays(days - (days < 60 ? 25568 : 25569));
    }
    weekday = static_cast<int>((days + 6) % 7);
  }

  for (const Token& t : sec.toks) {
    switch (t.kind) {
      case Tok::Literal: o.Put(PoolText(pool, t)); break;
      case Tok::Year:
        if (t.n <= 2) {
          o.PutInt(date.y % 100, 2);
        } else {
          o.PutInt(date.y, 4);
        }
        break;
      case Tok::Month:
        if (t.n <= 2) {
          o.PutInt(date.m, t.n);
        } else if (t.n == 5) {
          o.Put(kMonths[date.m - 1][0]);
        } else if (t.n == 3) {
          o.Put(kMonths[date.m - 1].substr(0, 3));
        } else {
          o.Put(kMonths[date.m - 1]);
        }
        break;
      case Tok::Day:
        if (t.n <= 2) {
          o.PutInt(date.d, t.n);
        } else if (t.n == 3) {
          o.Put(kDays[weekday].substr(0, 3));
        } else {
          o.Put(kDays[weekday]);
        }
        break;
      case Tok::Hour: {
        int h = hour;
        if (sec.ampm) h = h % 12 == 0 ? 12 : h % 12;
        o.PutInt(h, std::min<int>(t.n, 2));
        break;
      }
      case Tok::Minute: o.PutInt(minute, std::min<int>(t.n, 2)); break;
      case Tok::Second: o.PutInt(second, std::min<int>(t.n, 2)); break;
      case Tok::ElapsedH: o.PutInt(total / (3600 * scale), t.n); break;
      case Tok::ElapsedM: o.PutInt(total / (60 * scale), t.n); break;
      case Tok::ElapsedS: o.PutInt(total / scale, t.n); break;
      case Tok::FracSec: {
        o.PutPoint();
        char digits[4];
        int64_t x = sub;
        for (int i = sec.fracDigits - 1; i >= 0; --i) {
          digits[i] = static_cast<char>('0' + x % 10);
          x /= 10;
        }
        o.Put(std::string_view(digits, t.n));
        break;
      }
      case Tok::AmPm:
        if (t.ch == 0) {
          o.Put(hour < 12 ? "AM" : "PM");
        } else {
          bool lower = t.ch == 'a';
          o.Put(hour < 12 ? (lower ? 'a' : 'A') : (lower ? 'p' : 'P'));
        }
        break;
      case Tok::General: PutGeneral(o, a, false); break;
      default: break;
    }
  }
}

void RenderText(Out& o, const Section& sec, const std::string& pool, std::string_view text) {
  for (const Token& t : sec.toks) {
    if (t.kind == Tok::Literal) {
      o.Put(PoolText(pool, t));
    } else if (t.kind == Tok::At) {
      o.Put(text);
    }
  }
}

// A text section met by a number: @ stands for the number in General.
void RenderTextForNumber(Out& o, const Section& sec, const std::string& pool, double a, bool negative) {
  if (negative) o.Put('-');
  for (const Token& t : sec.toks) {
    if (t.kind == Tok::Literal) {
      o.Put(PoolText(pool, t));
    } else if (t.kind == Tok::At) {
      PutGeneral(o, a, negative);
    }
  }
}

}  // namespace corvane::numfmt
