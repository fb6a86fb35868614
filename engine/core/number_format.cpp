#include "engine/core/number_format.h"

#include "engine/core/number_text.h"
#include "engine/core/palette.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace corvane {

namespace {

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

Dec ToDec(double a) {  // a >= 0 and finite
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

bool Holds(Op op, double bound, double v) {
  switch (op) {
    case Op::Lt: return v < bound;
    case Op::Le: return v <= bound;
    case Op::Gt: return v > bound;
    case Op::Ge: return v >= bound;
    case Op::Eq: return v == bound;
    case Op::Ne: return v != bound;
    case Op::None: break;
  }
  return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithCI(std::string_view s, size_t i, std::string_view word) {
  if (s.size() - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (Lower(s[i + k]) != word[k]) return false;
  return true;
}

bool EqualsCI(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithCI(a, 0, b); }

// Bytes of the UTF-8 character at s[i] (0 past the end).
size_t CharLen(std::string_view s, size_t i) {
  if (i >= s.size()) return 0;
  size_t k = 1;
  while (i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80) ++k;
  return k;
}

// The index of the ']' closing the '[' at i, or npos.
size_t CloseBracket(std::string_view s, size_t i) { return s.find(']', i + 1); }

// [h], [mm], [ss]: one letter repeated.
char ElapsedLetter(std::string_view b) {
  if (b.empty()) return 0;
  char c = Lower(b[0]);
  if (c != 'h' && c != 'm' && c != 's') return 0;
  for (char x : b)
    if (Lower(x) != c) return 0;
  return c;
}


struct NamedColor {
  std::string_view name;
  Rgb rgb;
};
constexpr NamedColor kColors[] = {
    {"black", 0x000000}, {"blue", 0x0000FF},    {"cyan", 0x00FFFF}, {"green", 0x00FF00},
    {"magenta", 0xFF00FF}, {"red", 0xFF0000}, {"white", 0xFFFFFF}, {"yellow", 0xFFFF00},
};

bool OnlyBrackets(std::string_view s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '[') return false;
    i = CloseBracket(s, i);
    if (i == std::string_view::npos) return false;
  }
  return true;
}

// What a section is: text when it has @, a date when it has date or time letters
// outside quotes, escapes and brackets (or an [h] [m] [s]), else a number.
Kind ScanKind(std::string_view s) {
  bool date = false;
  for (size_t i = 0; i < s.size();) {
    char c = s[i];
    if (c == '"') {
      size_t j = s.find('"', i + 1);
      i = j == std::string_view::npos ? s.size() : j + 1;
      continue;
    }
    if (c == '\\' || c == '_' || c == '*') {
      i += 1 + CharLen(s, i + 1);
      continue;
    }
    if (c == '[') {
      size_t j = CloseBracket(s, i);
      if (j == std::string_view::npos) break;
      if (ElapsedLetter(s.substr(i + 1, j - i - 1))) date = true;
      i = j + 1;
      continue;
    }
    if (c == '@') return Kind::Text;
    if (StartsWithCI(s, i, "general")) {
      i += 7;
      continue;
    }
    switch (Lower(c)) {
      case 'y': case 'm': case 'd': case 'h': case 's':
        date = true;
        break;
      default:
        break;
    }
    ++i;
  }
  return date ? Kind::Date : Kind::Number;
}

class Compiler {
 public:
  explicit Compiler(std::string& pool) : pool_(pool) {}

  // False for a section that cannot be read.
  bool Compile(std::string_view s, Kind kind, Section& sec) {
    sec.kind = kind;
    if (!Tokenize(s, sec)) return false;
    if (sec.sysDate || sec.sysTime) {
      // The system long date / time, as en-US shows it.
      Rgb color = sec.color;
      Op op = sec.op;
      double bound = sec.bound;
      bool date = sec.sysDate;
      sec = Section{};
      sec.kind = Kind::Date;
      sec.color = color;
      sec.op = op;
      sec.bound = bound;
      Tokenize(date ? "dddd, mmmm d, yyyy" : "h:mm:ss AM/PM", sec);
    }
    // [Red] or [>100] alone shows the number in General.
    if (sec.kind == Kind::Number && sec.toks.empty() && OnlyBrackets(s)) Push(sec, Tok::General);
    switch (sec.kind) {
      case Kind::Date: ResolveMinutes(sec); break;
      case Kind::Text: break;
      default: Layout(sec); break;
    }
    return true;
  }

 private:
  void Push(Section& sec, Tok kind, char ch = 0, uint8_t n = 0) {
    Token t;
    t.kind = kind;
    t.ch = ch;
    t.n = n;
    sec.toks.push_back(t);
  }

  void Lit(Section& sec, std::string_view text) {
    if (text.empty()) return;
    if (!sec.toks.empty() && sec.toks.back().kind == Tok::Literal &&
        sec.toks.back().off + sec.toks.back().len == pool_.size()) {
      sec.toks.back().len += static_cast<uint32_t>(text.size());
    } else {
      Token t;
      t.off = static_cast<uint32_t>(pool_.size());
      t.len = static_cast<uint32_t>(text.size());
      sec.toks.push_back(t);
    }
    pool_.append(text);
  }

  bool Tokenize(std::string_view s, Section& sec) {
    bool afterDigit = false;  // the last thing read was a digit placeholder or a scaling comma
    bool point = false, exponent = false;
    for (size_t i = 0; i < s.size();) {
      char c = s[i];
      bool wasDigit = afterDigit;
      afterDigit = false;
      if (c == '"') {
        size_t j = s.find('"', i + 1);
        if (j == std::string_view::npos) return false;
        Lit(sec, s.substr(i + 1, j - i - 1));
        i = j + 1;
        continue;
      }
      if (c == '\\') {
        size_t k = CharLen(s, i + 1);
        Lit(sec, s.substr(i + 1, k));
        i += 1 + k;
        continue;
      }
      if (c == '_') {  // a space as wide as the next character
        Lit(sec, " ");
        i += 1 + CharLen(s, i + 1);
        continue;
      }
      if (c == '*') {  // fill the cell with the next character: nothing in a text
        i += 1 + CharLen(s, i + 1);
        continue;
      }
      if (c == '[') {
        size_t j = CloseBracket(s, i);
        if (j == std::string_view::npos) return false;
        if (!Bracket(s.substr(i + 1, j - i - 1), sec)) return false;
        i = j + 1;
        continue;
      }
      if (sec.kind == Kind::Text) {
        if (StartsWithCI(s, i, "general")) {  // the text as it is, like @
          Push(sec, Tok::At);
          i += 7;
        } else if (c == '@') {
          Push(sec, Tok::At);
          ++i;
        } else {
          Lit(sec, s.substr(i, 1));
          ++i;
        }
        continue;
      }
      if (StartsWithCI(s, i, "general")) {
        Push(sec, Tok::General);
        i += 7;
        continue;
      }
      if (sec.kind == Kind::Date) {
        i = DateChar(s, i, sec);
        continue;
      }
      switch (c) {
        case '0': case '#': case '?':
          Push(sec, Tok::Digit, c);
          afterDigit = true;
          ++i;
          continue;
        case '.':
          if (!point && !exponent) {
            Push(sec, Tok::Point);
            point = true;
          } else {
            Lit(sec, ".");
          }
          ++i;
          continue;
        case ',':
          if (wasDigit) {
            char next = i + 1 < s.size() ? s[i + 1] : 0;
            if (next == '0' || next == '#' || next == '?') {
              if (!point) sec.group = true;
            } else {
              sec.shift -= 3;  // each trailing comma: thousands
            }
            afterDigit = true;
          } else {
            Lit(sec, ",");
          }
          ++i;
          continue;
        case '%':
          Push(sec, Tok::Percent);
          sec.shift += 2;
          ++i;
          continue;
        case 'E': case 'e':
          if (!exponent && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
            Push(sec, Tok::Exponent, c, s[i + 1] == '+' ? 1 : 0);
            exponent = true;
            i += 2;
          } else {
            Lit(sec, s.substr(i, 1));
            ++i;
          }
          continue;
        case '/':
          Push(sec, Tok::Slash);
          ++i;
          continue;
        default:
          break;
      }
      if (c >= '1' && c <= '9' && !sec.toks.empty() && sec.toks.back().kind == Tok::Slash) {
        uint32_t den = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
          if (den < 100000) den = den * 10 + static_cast<uint32_t>(s[i] - '0');
          ++i;
        }
        Push(sec, Tok::FixedDen);
        sec.toks.back().off = den;
        continue;
      }
      Lit(sec, s.substr(i, 1));
      ++i;
    }
    return true;
  }

  size_t DateChar(std::string_view s, size_t i, Section& sec) {
    if (StartsWithCI(s, i, "am/pm")) {
      Push(sec, Tok::AmPm);
      sec.ampm = true;
      return i + 5;
    }
    if (StartsWithCI(s, i, "a/p")) {
      Push(sec, Tok::AmPm, s[i]);
      sec.ampm = true;
      return i + 3;
    }
    char c = Lower(s[i]);
    auto run = [&](char letter) {
      size_t j = i;
      while (j < s.size() && Lower(s[j]) == letter) ++j;
      return j - i;
    };
    Tok kind;
    switch (c) {
      case 'y': kind = Tok::Year; break;
      case 'e': kind = Tok::Year; break;  // the year of the era: the year here
      case 'm': kind = Tok::Month; break;
      case 'd': kind = Tok::Day; break;
      case 'h': kind = Tok::Hour; break;
      case 's': kind = Tok::Second; break;
      case 'g': return i + run('g');  // era names: none in the Gregorian calendar
      case '.': {
        size_t zeros = 0;
        while (i + 1 + zeros < s.size() && s[i + 1 + zeros] == '0') ++zeros;
        const Token* prev = LastField(sec);
        if (zeros > 0 && prev && (prev->kind == Tok::Second || prev->kind == Tok::ElapsedS)) {
          int shown = static_cast<int>(std::min<size_t>(zeros, 3));
          Push(sec, Tok::FracSec, 0, static_cast<uint8_t>(shown));
          sec.fracDigits = std::max(sec.fracDigits, shown);
          return i + 1 + zeros;
        }
        Lit(sec, ".");
        return i + 1;
      }
      default:
        Lit(sec, s.substr(i, 1));
        return i + 1;
    }
    size_t n = run(c);
    if (c == 'e') n = 4;
    Push(sec, kind, 0, static_cast<uint8_t>(std::min<size_t>(n, 9)));
    return i + run(c);
  }

  static const Token* LastField(const Section& sec) {
    for (auto it = sec.toks.rbegin(); it != sec.toks.rend(); ++it)
      if (it->kind != Tok::Literal) return &*it;
    return nullptr;
  }

  bool Bracket(std::string_view b, Section& sec) {
    if (b.empty()) return true;
    if (b[0] == '$') {  // [$€-407]: a currency symbol and a locale
      std::string_view rest = b.substr(1);
      size_t dash = rest.find('-');
      std::string_view symbol = rest.substr(0, dash);
      Lit(sec, symbol);
      if (dash != std::string_view::npos) {
        std::string_view locale = rest.substr(dash + 1);
        auto endsWith = [&](std::string_view tail) {
          return locale.size() >= tail.size() && EqualsCI(locale.substr(locale.size() - tail.size()), tail);
        };
        if (endsWith("f800") || EqualsCI(locale, "x-sysdate")) sec.sysDate = true;
        if (endsWith("f400") || EqualsCI(locale, "x-systime")) sec.sysTime = true;
      }
      return true;
    }
    if (b[0] == '<' || b[0] == '>' || b[0] == '=') {
      size_t k = 1;
      if (b[0] == '<' && b.size() > 1 && b[1] == '=') sec.op = Op::Le, k = 2;
      else if (b[0] == '<' && b.size() > 1 && b[1] == '>') sec.op = Op::Ne, k = 2;
      else if (b[0] == '>' && b.size() > 1 && b[1] == '=') sec.op = Op::Ge, k = 2;
      else sec.op = b[0] == '<' ? Op::Lt : b[0] == '>' ? Op::Gt : Op::Eq;
      return ParseNumberText(b.substr(k), sec.bound);
    }
    if (char letter = ElapsedLetter(b)) {
      Tok kind = letter == 'h' ? Tok::ElapsedH : letter == 'm' ? Tok::ElapsedM : Tok::ElapsedS;
      Push(sec, kind, 0, static_cast<uint8_t>(std::min<size_t>(b.size(), 9)));
      return true;
    }
    for (const NamedColor& c : kColors) {
      if (EqualsCI(b, c.name)) {
        sec.color = c.rgb;
        return true;
      }
    }
    if (StartsWithCI(b, 0, "color")) {
      int n = 0;
      auto r = std::from_chars(b.data() + 5, b.data() + b.size(), n);
      if (r.ec == std::errc() && r.ptr == b.data() + b.size() && n >= 1 && n <= 56) {
        sec.color = DefaultPaletteColor(n + 7);  // [Color1] is palette entry 8
        return true;
      }
      return false;
    }
    return true;  // [DBNum1], [$-x-...] and the like change nothing here
  }

  // m and mm are minutes right after an hour or right before a second.
  static void ResolveMinutes(Section& sec) {
    auto& t = sec.toks;
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].kind != Tok::Month || t[i].n > 2) continue;
      bool minute = false;
      for (size_t j = i; j-- > 0;) {
        if (t[j].kind == Tok::Literal) continue;
        minute = t[j].kind == Tok::Hour || t[j].kind == Tok::ElapsedH;
        break;
      }
      for (size_t j = i + 1; !minute && j < t.size(); ++j) {
        if (t[j].kind == Tok::Literal) continue;
        minute = t[j].kind == Tok::Second || t[j].kind == Tok::ElapsedS;
        break;
      }
      if (minute) t[i].kind = Tok::Minute;
    }
  }

  // Gives every digit placeholder its role and counts them.
  void Layout(Section& sec) {
    auto& t = sec.toks;
    size_t exponent = t.size(), slash = t.size(), point = t.size();
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].kind == Tok::Exponent && exponent == t.size()) exponent = i;
      if (t[i].kind == Tok::Slash && slash == t.size()) slash = i;
      if (t[i].kind == Tok::Point && point == t.size()) point = i;
    }
    // A slash makes a fraction when digits stand right before it and after it.
    bool fraction = false;
    if (slash < t.size() && exponent == t.size() && point == t.size() && slash > 0 &&
        t[slash - 1].kind == Tok::Digit && slash + 1 < t.size() &&
        (t[slash + 1].kind == Tok::Digit || t[slash + 1].kind == Tok::FixedDen))
      fraction = true;
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].kind == Tok::Slash && !(fraction && i == slash)) ToLiteral(t[i], "/");
      if (t[i].kind == Tok::FixedDen && !(fraction && i == slash + 1)) {
        std::string text = std::to_string(t[i].off);
        ToLiteral(t[i], text);
      }
    }
    if (exponent < t.size()) {
      sec.kind = Kind::Scientific;
      bool allZeros = true;
      for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tok::Digit) continue;
        if (i > exponent) {
          t[i].n = kExp;
          if (t[i].ch == '0') ++sec.expDigits;
        } else if (i > point) {
          t[i].n = kDec;
          ++sec.decDigits;
        } else {
          t[i].n = kInt;
          ++sec.intDigits;
          if (t[i].ch != '0') allZeros = false;
        }
      }
      sec.engineering = sec.intDigits > 1 && !allZeros;
      sec.group = false;
      return;
    }
    if (fraction) {
      sec.kind = Kind::Fraction;
      size_t numStart = slash;
      while (numStart > 0 && t[numStart - 1].kind == Tok::Digit) --numStart;
      for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tok::FixedDen) sec.fixedDen = static_cast<int>(t[i].off);
        if (t[i].kind != Tok::Digit) continue;
        if (i < numStart) {
          t[i].n = kInt;
          ++sec.intDigits;
        } else if (i < slash) {
          t[i].n = kNum;
          ++sec.numDigits;
        } else {
          t[i].n = kDen;
          ++sec.denDigits;
        }
      }
      sec.group = false;
      return;
    }
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].kind != Tok::Digit) continue;
      if (point < t.size() && i > point) {
        t[i].n = kDec;
        ++sec.decDigits;
      } else {
        t[i].n = kInt;
        ++sec.intDigits;
      }
    }
  }

  void ToLiteral(Token& t, std::string_view text) {
    t = Token{};
    t.off = static_cast<uint32_t>(pool_.size());
    t.len = static_cast<uint32_t>(text.size());
    pool_.append(text);
  }

  std::string& pool_;
};

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

// The fraction nearest to x with a denominator up to maxDen (smallest one on a tie).
void NearestFraction(double x, int64_t maxDen, int64_t& num, int64_t& den) {
  int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
  double rest = x;
  for (int guard = 0; guard < 64; ++guard) {
    double a = std::floor(rest);
    if (a > 1e15) break;
    int64_t ai = static_cast<int64_t>(a);
    int64_t q2 = q0 + ai * q1;
    if (q2 > maxDen) break;
    int64_t p2 = p0 + ai * p1;
    p0 = p1, q0 = q1, p1 = p2, q1 = q2;
    double frac = rest - a;
    if (frac < 1e-12 || std::fabs(static_cast<double>(p1) / static_cast<double>(q1) - x) < 1e-15 * std::max(1.0, x))
      break;
    rest = 1 / frac;
  }
  if (q1 == 0) {  // x beyond any denominator: the whole number
    num = x < 9e18 ? static_cast<int64_t>(std::llround(x)) : INT64_MAX;
    den = 1;
    return;
  }
  // The best of the last convergent and the semiconvergent below it.
  int64_t k = (maxDen - q0) / q1;
  int64_t ps = p0 + k * p1, qs = q0 + k * q1;
  double errConv = std::fabs(static_cast<double>(p1) / static_cast<double>(q1) - x);
  double errSemi = qs > 0 ? std::fabs(static_cast<double>(ps) / static_cast<double>(qs) - x) : 1e300;
  if (errSemi < errConv) {
    num = ps, den = qs;
  } else {
    num = p1, den = q1;
  }
}

void RenderFraction(Out& o, const Section& sec, const std::string& pool, double a, bool negative) {
  double x = sec.shift ? a * std::pow(10.0, sec.shift) : a;
  {  // the value as 15 significant digits show it: 0.1+0.2 is 0.3 here too
    char buf[40];
    auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
    std::from_chars(buf, res.ptr, x);
  }
  bool whole = sec.intDigits > 0;
  double ip = whole ? std::floor(x) : 0;
  double fr = x - ip;
  int64_t num = 0, den = 1;
  if (sec.fixedDen > 0) {
    den = sec.fixedDen;
    num = static_cast<int64_t>(std::llround(fr * static_cast<double>(den)));
  } else {
    int digits = std::min(sec.denDigits, 9);
    int64_t maxDen = 1;
    for (int i = 0; i < digits; ++i) maxDen *= 10;
    NearestFraction(fr, std::max<int64_t>(maxDen - 1, 1), num, den);
  }
  if (whole && num == den) {
    ip += 1;
    num = 0;
  }
  bool blank = whole && num == 0;  // 5 in "# ?/?" shows as "5" and blanks
  Dec iv = ToDec(ip);
  iv.Round(0);

  char numText[24], denText[24];
  auto nr = std::to_chars(numText, numText + sizeof numText, num);
  auto dr = std::to_chars(denText, denText + sizeof denText, den);
  int numLen = static_cast<int>(nr.ptr - numText), denLen = static_cast<int>(dr.ptr - denText);

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
            o.Put(std::string_view(numText, static_cast<size_t>(numLen - pos)));
          } else if (pos < numLen) {
            o.Put(numText[numLen - 1 - pos]);
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

// Up to four sections split on ';' outside quotes, escapes and brackets.
bool SplitSections(std::string_view code, std::array<std::string_view, 4>& out, size_t& count) {
  count = 0;
  size_t start = 0;
  for (size_t i = 0; i <= code.size();) {
    if (i == code.size() || code[i] == ';') {
      if (count == out.size()) return false;
      out[count++] = code.substr(start, i - start);
      start = ++i;
      continue;
    }
    char c = code[i];
    if (c == '"') {
      size_t j = code.find('"', i + 1);
      i = j == std::string_view::npos ? code.size() : j + 1;
    } else if (c == '\\' || c == '_' || c == '*') {
      i += 1 + CharLen(code, i + 1);
    } else if (c == '[') {
      size_t j = code.find(']', i + 1);
      if (j == std::string_view::npos) return false;
      i = j + 1;
    } else {
      ++i;
    }
  }
  return true;
}

}  // namespace

Separators::Separators(std::string_view decimal, std::string_view group) {
  decimalLen_ = static_cast<uint8_t>(std::min(decimal.size(), sizeof decimal_));
  std::memcpy(decimal_, decimal.data(), decimalLen_);
  groupLen_ = static_cast<uint8_t>(std::min(group.size(), sizeof group_));
  std::memcpy(group_, group.data(), groupLen_);
}

struct NumberFormat::Program {
  std::string pool;               // literal text of every section
  std::vector<Section> sections;  // the number sections: positive, negative, zero
  Section text;                   // the text section, when hasText
  bool hasText = false;
  bool conditional = false;       // the first or second section has a [>100]-style condition
  bool showsDate = false;         // a number section shows a year, a month or a day

  bool Build(std::string_view code) {
    std::array<std::string_view, 4> parts;
    size_t count = 0;
    if (!SplitSections(code, parts, count)) return false;
    Compiler compiler(pool);
    Kind lastKind = ScanKind(parts[count - 1]);
    if (count == 4 || lastKind == Kind::Text) {
      hasText = true;
      --count;
      if (!compiler.Compile(parts[count], Kind::Text, text)) return false;
    }
    sections.resize(count);
    for (size_t i = 0; i < count; ++i)
      if (!compiler.Compile(parts[i], ScanKind(parts[i]), sections[i])) return false;
    conditional = (!sections.empty() && sections[0].op != Op::None) ||
                  (sections.size() > 1 && sections[1].op != Op::None);
    for (const Section& sec : sections) {
      if (sec.kind != Kind::Date) continue;
      for (const Token& t : sec.toks)
        showsDate = showsDate || t.kind == Tok::Year || t.kind == Tok::Month || t.kind == Tok::Day;
    }
    return true;
  }
};

NumberFormat::NumberFormat(std::string_view code) {
  static const std::shared_ptr<const Program> general = [] {
    auto p = std::make_shared<Program>();
    p->Build("General");
    return p;
  }();
  if (code.empty() || EqualsCI(code, "general")) {
    program_ = general;
    return;
  }
  auto p = std::make_shared<Program>();
  if (!p->Build(code)) {
    program_ = general;
    return;
  }
  program_ = std::move(p);
}

bool NumberFormat::IsDateTime() const {
  return !program_->sections.empty() && program_->sections[0].kind == Kind::Date;
}

bool NumberFormat::ShowsDate() const { return program_->showsDate; }

bool IsDateFormat(std::string_view code) { return NumberFormat(code).ShowsDate(); }

RenderedValue NumberFormat::Number(double v, bool date1904, const Separators& separators) const {
  RenderedValue r;
  r.align = Align::Right;
  if (!std::isfinite(v)) {
    r.text = "#NUM!";
    return r;
  }
  const Program& p = *program_;
  Out o(separators);
  const auto& s = p.sections;
  double a = std::fabs(v);
  bool negative = v < 0;

  const Section* sec = nullptr;
  if (s.empty()) {
    if (negative) o.Put('-');
    PutGeneral(o, a, negative);
    r.text = o.Take();
    return r;
  }
  if (!p.conditional) {
    if (s.size() == 1 || v > 0 || (v == 0 && s.size() == 2)) {
      sec = &s[0];
    } else if (v < 0) {
      sec = &s[1];
      negative = false;  // the negative section writes its own sign, if any
    } else {
      sec = &s[2];
    }
  } else {
    // [>100] style: the first section whose condition holds; a section without
    // one takes what the others leave.
    bool t0 = s[0].op != Op::None ? Holds(s[0].op, s[0].bound, v) : (s.size() >= 3 ? v > 0 : v >= 0);
    bool strip = false;
    if (t0) {
      sec = &s[0];
    } else if (s.size() >= 2 &&
               (s[1].op != Op::None ? Holds(s[1].op, s[1].bound, v) : (s.size() >= 3 ? v < 0 : true))) {
      sec = &s[1];
      strip = s[1].op == Op::None && s.size() >= 3;
    } else if (s.size() >= 3) {
      sec = &s[2];
    }
    if (!sec) {  // no condition holds: the number as General shows it
      if (negative) o.Put('-');
      PutGeneral(o, a, negative);
      r.text = o.Take();
      return r;
    }
    // A section that only ever sees negative numbers writes its own sign.
    if ((sec->op == Op::Lt || sec->op == Op::Le) && sec->bound <= 0) strip = true;
    if (strip) negative = false;
  }

  switch (sec->kind) {
    case Kind::Number: RenderFixed(o, *sec, p.pool, a, negative); break;
    case Kind::Scientific: RenderScientific(o, *sec, p.pool, a, negative); break;
    case Kind::Fraction: RenderFraction(o, *sec, p.pool, a, negative); break;
    case Kind::Date: RenderDate(o, *sec, p.pool, a, negative, date1904); break;
    case Kind::Text: RenderTextForNumber(o, *sec, p.pool, a, negative); break;
  }
  r.text = o.Take();
  r.color = sec->color;
  return r;
}

RenderedValue NumberFormat::Text(std::string_view s) const {
  RenderedValue r;
  r.align = Align::Left;
  const Program& p = *program_;
  if (!p.hasText) {
    r.text.assign(s);
    return r;
  }
  static const Separators kNone;  // text shows no number
  Out o(kNone);
  RenderText(o, p.text, p.pool, s);
  r.text = o.Take();
  r.color = p.text.color;
  return r;
}

RenderedValue RenderBool(bool b) {
  RenderedValue r;
  r.text = b ? "TRUE" : "FALSE";
  r.align = Align::Center;
  return r;
}

RenderedValue RenderError(std::string_view e) {
  RenderedValue r;
  r.text.assign(e);
  r.align = Align::Center;
  return r;
}

}  // namespace corvane
