#include "engine/core/number_format_parts.h"

#include "engine/core/ascii.h"

// The compiler of format codes: sections split, each read into tokens, with the layout of
// its digits worked out once.

namespace corvane::numfmt {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithCI(std::string_view s, size_t i, std::string_view word) {
  if (s.size() - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (Lower(s[i + k]) != word[k]) return false;
  return true;
}

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

}  // namespace

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

namespace {

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
          return locale.size() >= tail.size() && EqualsNoCase(locale.substr(locale.size() - tail.size()), tail);
        };
        if (endsWith("f800") || EqualsNoCase(locale, "x-sysdate")) sec.sysDate = true;
        if (endsWith("f400") || EqualsNoCase(locale, "x-systime")) sec.sysTime = true;
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
      if (EqualsNoCase(b, c.name)) {
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

}  // namespace

bool CompileSection(std::string& pool, std::string_view s, Kind kind, Section& sec) {
  Compiler compiler(pool);
  return compiler.Compile(s, kind, sec);
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

}  // namespace corvane::numfmt
