#include "engine/formula/formula_lexer.h"

#include "engine/core/ascii.h"
#include "engine/core/model.h"

namespace corvane {

namespace {

constexpr size_t kNone = std::string_view::npos;

bool IsLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
bool IsUtf8Byte(char ch) { return static_cast<unsigned char>(ch) >= 0x80; }

// Characters that may continue a defined name, a function name or an unquoted
// sheet name. Bytes of UTF-8 sequences count as letters.
bool IsNameChar(char ch) {
  return IsLetter(ch) || IsDigit(ch) || ch == '_' || ch == '.' || ch == '\\' || ch == '?' || IsUtf8Byte(ch);
}
bool IsNameStart(char ch) { return IsLetter(ch) || ch == '_' || ch == '\\' || IsUtf8Byte(ch); }

// "$?LETTERS" at p: the whole run of letters, 1 to 3 of them, up to XFD.
size_t MatchCol(std::string_view s, size_t p, RefPart& out) {
  size_t q = p;
  bool abs = q < s.size() && s[q] == '$';
  if (abs) ++q;
  size_t b = q;
  int32_t v = 0;
  while (q < s.size() && IsLetter(s[q])) {
    if (q - b < 3) v = v * 26 + ((s[q] | 0x20) - 'a' + 1);
    ++q;
  }
  if (q == b || q - b > 3 || v > kMaxCols) return kNone;
  out = RefPart{p, q, abs, false, v - 1};
  return q;
}

// "$?DIGITS" at p: the whole run of digits, 1 to 1048576.
size_t MatchRow(std::string_view s, size_t p, RefPart& out) {
  size_t q = p;
  bool abs = q < s.size() && s[q] == '$';
  if (abs) ++q;
  size_t b = q;
  int64_t v = 0;
  while (q < s.size() && IsDigit(s[q])) {
    if (v <= kMaxRows) v = v * 10 + (s[q] - '0');
    ++q;
  }
  if (q == b || v < 1 || v > kMaxRows) return kNone;
  out = RefPart{p, q, abs, true, static_cast<int32_t>(v - 1)};
  return q;
}

size_t MatchCell(std::string_view s, size_t p, RefPart& col, RefPart& row) {
  size_t q = MatchCol(s, p, col);
  return q == kNone ? kNone : MatchRow(s, q, row);
}

// A reference ends where no name can go on: "LOG10(" is a function, "A1B" or
// "A1.x" a name, "Tax1!" a sheet, "T1[" a table.
bool EndsRef(std::string_view s, size_t q) {
  if (q >= s.size()) return true;
  char ch = s[q];
  return !(IsNameChar(ch) || ch == '$' || ch == '(' || ch == '!' || ch == '[');
}

bool MatchRef(std::string_view s, size_t p, FormulaRef& ref) {
  RefPart a, b, c, d;
  size_t e1 = MatchCell(s, p, a, b);
  if (e1 != kNone) {
    if (e1 < s.size() && s[e1] == ':') {
      size_t e2 = MatchCell(s, e1 + 1, c, d);
      if (e2 != kNone) {
        if (EndsRef(s, e2)) {
          ref = FormulaRef{{a, b, c, d}, 4, e2};
          return true;
        }
        if (s[e2] == '!') return false;  // "A1:B2!": 3-D sheet span, not a range
      }
    }
    if (!EndsRef(s, e1)) return false;
    ref = FormulaRef{{a, b}, 2, e1};
    return true;
  }
  e1 = MatchCol(s, p, a);
  if (e1 != kNone && e1 < s.size() && s[e1] == ':') {
    size_t e2 = MatchCol(s, e1 + 1, b);
    if (e2 != kNone && EndsRef(s, e2)) {
      ref = FormulaRef{{a, b}, 2, e2};
      return true;
    }
  }
  e1 = MatchRow(s, p, a);
  if (e1 != kNone && e1 < s.size() && s[e1] == ':') {
    size_t e2 = MatchRow(s, e1 + 1, b);
    if (e2 != kNone && EndsRef(s, e2)) {
      ref = FormulaRef{{a, b}, 2, e2};
      return true;
    }
  }
  return false;
}

// Past the closing quote of a "..." string (or a '...' sheet name when
// q = '\''), where a doubled quote stands for one.
size_t SkipQuoted(std::string_view s, size_t p, char q) {
  size_t i = p + 1;
  while (i < s.size()) {
    if (s[i] == q) {
      if (i + 1 < s.size() && s[i + 1] == q) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return s.size();
}

// True when the quoted text from p to end (what SkipQuoted found) ends with its own
// closing quote, not with half of a doubled one cut off by the end of the text.
bool QuoteCloses(std::string_view s, size_t p, size_t end, char q) {
  size_t i = p + 1;
  while (i < end) {
    if (s[i] == q) {
      if (i + 1 < end && s[i + 1] == q) {
        i += 2;
        continue;
      }
      return i + 1 == end;
    }
    ++i;
  }
  return false;
}

// Past the ']' matching the '[' at p. Inside table column names an apostrophe
// escapes the next character ("[Col']x]").
size_t SkipBrackets(std::string_view s, size_t p, bool* closed = nullptr) {
  int depth = 0;
  for (size_t i = p; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '\'') {
      ++i;
    } else if (ch == '[') {
      ++depth;
    } else if (ch == ']' && --depth == 0) {
      if (closed) *closed = true;
      return i + 1;
    }
  }
  if (closed) *closed = false;
  return s.size();
}

size_t SkipName(std::string_view s, size_t p) {
  while (p < s.size() && IsNameChar(s[p])) ++p;
  return p;
}

// Past the '!' when s[p..] is "Sheet!", kNone otherwise. In a 3-D prefix
// "First:Last!" the first sheet reads as a name and the ':' as an operator,
// which comes to the same: copied as written, meaning lost.
size_t SheetPrefixEnd(std::string_view s, size_t p) {
  size_t q = SkipName(s, p);
  return q > p && q < s.size() && s[q] == '!' ? q + 1 : kNone;
}

// Past an error literal at p ('#' there), or kNone when the '#' is the
// spill operator.
size_t MatchError(std::string_view s, size_t p) {
  static constexpr std::string_view kErrors[] = {
      "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A", "#GETTING_DATA",
      "#SPILL!", "#CALC!", "#FIELD!", "#BUSY!", "#CONNECT!", "#BLOCKED!", "#UNKNOWN!",
      "#EXTERNAL!", "#PYTHON!"};
  for (std::string_view e : kErrors) {
    if (EqualsNoCase(s.substr(p, e.size()), e)) return p + e.size();
  }
  // Error kinds newer than this list still read "#WORD!".
  size_t q = p + 1;
  while (q < s.size() && (IsLetter(s[q]) || s[q] == '_')) ++q;
  if (q > p + 1 && q < s.size() && s[q] == '!') return q + 1;
  return kNone;
}

size_t SkipNumberAt(std::string_view s, size_t p) {
  size_t q = p;
  while (q < s.size() && IsDigit(s[q])) ++q;
  if (q < s.size() && s[q] == '.') {
    ++q;
    while (q < s.size() && IsDigit(s[q])) ++q;
  }
  if (q < s.size() && (s[q] == 'E' || s[q] == 'e')) {
    size_t r = q + 1;
    if (r < s.size() && (s[r] == '+' || s[r] == '-')) ++r;
    if (r < s.size() && IsDigit(s[r])) {
      while (r < s.size() && IsDigit(s[r])) ++r;
      q = r;
    }
  }
  return q;
}

}  // namespace

FormulaToken NextFormulaToken(std::string_view s, size_t i) {
  const size_t n = s.size();
  FormulaToken t;
  t.begin = i;
  auto token = [&](FormulaTok kind, size_t end) {
    t.kind = kind;
    t.end = end;
    return t;
  };
  char ch = s[i];
  if (ch == '"') {
    size_t j = SkipQuoted(s, i, '"');
    t.closed = j > i + 1 && s[j - 1] == '"' && QuoteCloses(s, i, j, '"');
    return token(FormulaTok::String, j);
  }
  if (ch == '\'') {
    size_t j = SkipQuoted(s, i, '\'');
    t.closed = j > i + 1 && QuoteCloses(s, i, j, '\'');
    if (j < n && s[j] == '!') ++j;
    return token(FormulaTok::QuotedSheet, j);
  }
  if (ch == '[') {
    return token(FormulaTok::Bracketed, SkipBrackets(s, i, &t.closed));
  }
  if (ch == '#') {
    size_t j = MatchError(s, i);
    return j != kNone ? token(FormulaTok::Error, j) : token(FormulaTok::Char, i + 1);
  }
  if ((IsLetter(ch) || ch == '$' || IsDigit(ch)) && MatchRef(s, i, t.ref)) return token(FormulaTok::Ref, t.ref.end);
  if (IsDigit(ch) || (ch == '.' && i + 1 < n && IsDigit(s[i + 1]))) {
    size_t k = IsDigit(ch) ? SheetPrefixEnd(s, i) : kNone;
    return k != kNone ? token(FormulaTok::SheetPrefix, k) : token(FormulaTok::Number, SkipNumberAt(s, i));
  }
  if (IsNameStart(ch)) {
    size_t j = SkipName(s, i);
    if (j < n && s[j] == '(') return token(FormulaTok::Function, j);
    size_t k = SheetPrefixEnd(s, i);
    if (k != kNone) return token(FormulaTok::SheetPrefix, k);
    if (j < n && s[j] == '[') return token(FormulaTok::Table, SkipBrackets(s, j, &t.closed));
    return token(FormulaTok::Name, j);
  }
  return token(FormulaTok::Char, i + 1);
}

size_t FormulaNumberEnd(std::string_view text, size_t at) { return SkipNumberAt(text, at); }

}  // namespace corvane
