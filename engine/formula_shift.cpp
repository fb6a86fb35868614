#include "engine/formula_shift.h"

#include <charconv>

#include "engine/ascii.h"
#include "engine/cellref.h"
#include "engine/model.h"

// One pass over the formula text. Every token that cannot hold a reference
// (strings, quoted sheet names, brackets, error literals, numbers, names) is
// copied as a slice of the input; only the row and column
// parts of references that actually move are written anew, so a shift by
// (0, 0) gives back the text byte for byte.

namespace corvane {

namespace {

constexpr size_t kNone = std::string_view::npos;

bool IsLetter(unsigned char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
bool IsDigit(unsigned char ch) { return ch >= '0' && ch <= '9'; }

// Characters that may continue a defined name, a function name or an unquoted
// sheet name. Bytes of UTF-8 sequences count as letters.
bool IsNameChar(unsigned char ch) {
  return IsLetter(ch) || IsDigit(ch) || ch == '_' || ch == '.' || ch == '\\' || ch == '?' || ch >= 0x80;
}
bool IsNameStart(unsigned char ch) { return IsLetter(ch) || ch == '_' || ch == '\\' || ch >= 0x80; }

// One row or one column part of a reference: s[b, e), '$' included.
struct Part {
  size_t b = 0, e = 0;
  bool abs = false;
  bool isRow = false;
  int32_t v = 0;  // 0-based
};

// A cell (2 parts), a cell range (4), or a whole-column / whole-row range (2).
struct Ref {
  Part parts[4];
  int count = 0;
  size_t end = 0;
};

// "$?LETTERS" at p: the whole run of letters, 1 to 3 of them, up to XFD.
size_t MatchCol(std::string_view s, size_t p, Part& out) {
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
  out = Part{p, q, abs, false, v - 1};
  return q;
}

// "$?DIGITS" at p: the whole run of digits, 1 to 1048576.
size_t MatchRow(std::string_view s, size_t p, Part& out) {
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
  out = Part{p, q, abs, true, static_cast<int32_t>(v - 1)};
  return q;
}

size_t MatchCell(std::string_view s, size_t p, Part& col, Part& row) {
  size_t q = MatchCol(s, p, col);
  return q == kNone ? kNone : MatchRow(s, q, row);
}

// A reference ends where no name can go on: "LOG10(" is a function, "A1B" or
// "A1.x" a name, "Tax1!" a sheet, "T1[" a table.
bool EndsRef(std::string_view s, size_t q) {
  if (q >= s.size()) return true;
  unsigned char ch = s[q];
  return !(IsNameChar(ch) || ch == '$' || ch == '(' || ch == '!' || ch == '[');
}

bool MatchRef(std::string_view s, size_t p, Ref& ref) {
  Part a, b, c, d;
  size_t e1 = MatchCell(s, p, a, b);
  if (e1 != kNone) {
    if (e1 < s.size() && s[e1] == ':') {
      size_t e2 = MatchCell(s, e1 + 1, c, d);
      if (e2 != kNone) {
        if (EndsRef(s, e2)) {
          ref = Ref{{a, b, c, d}, 4, e2};
          return true;
        }
        if (s[e2] == '!') return false;  // "A1:B2!": 3-D sheet span, not a range
      }
    }
    if (!EndsRef(s, e1)) return false;
    ref = Ref{{a, b}, 2, e1};
    return true;
  }
  e1 = MatchCol(s, p, a);
  if (e1 != kNone && e1 < s.size() && s[e1] == ':') {
    size_t e2 = MatchCol(s, e1 + 1, b);
    if (e2 != kNone && EndsRef(s, e2)) {
      ref = Ref{{a, b}, 2, e2};
      return true;
    }
  }
  e1 = MatchRow(s, p, a);
  if (e1 != kNone && e1 < s.size() && s[e1] == ':') {
    size_t e2 = MatchRow(s, e1 + 1, b);
    if (e2 != kNone && EndsRef(s, e2)) {
      ref = Ref{{a, b}, 2, e2};
      return true;
    }
  }
  return false;
}

// Writes `ref` moved by (dRow, dCol) after `out`; false (nothing written) when
// any part leaves the sheet.
bool EmitRef(std::string_view s, const Ref& ref, int32_t dRow, int32_t dCol, std::string& out) {
  int32_t moved[4];
  for (int i = 0; i < ref.count; ++i) {
    const Part& p = ref.parts[i];
    int64_t v = p.v;
    if (!p.abs) v += p.isRow ? dRow : dCol;
    if (v < 0 || v >= (p.isRow ? kMaxRows : kMaxCols)) return false;
    moved[i] = static_cast<int32_t>(v);
  }
  size_t at = ref.parts[0].b;
  for (int i = 0; i < ref.count; ++i) {
    const Part& p = ref.parts[i];
    out.append(s.substr(at, p.b - at));
    if (moved[i] == p.v) {
      out.append(s.substr(p.b, p.e - p.b));
    } else if (p.isRow) {
      char buf[16];
      auto res = std::to_chars(buf, buf + sizeof buf, moved[i] + 1);
      out.append(buf, res.ptr);
    } else {
      AppendColumnName(out, moved[i]);
    }
    at = p.e;
  }
  return true;
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

// Past the ']' matching the '[' at p. Inside table column names an apostrophe
// escapes the next character ("[Col']x]").
size_t SkipBrackets(std::string_view s, size_t p) {
  int depth = 0;
  for (size_t i = p; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '\'') {
      ++i;
    } else if (ch == '[') {
      ++depth;
    } else if (ch == ']' && --depth == 0) {
      return i + 1;
    }
  }
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

size_t SkipNumber(std::string_view s, size_t p) {
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

ShiftedFormula ShiftFormula(std::string_view s, int32_t dRow, int32_t dCol) {
  ShiftedFormula res{std::string(), true};
  std::string& out = res.text;
  out.reserve(s.size() + 16);
  const size_t n = s.size();
  size_t i = 0;
  auto copy = [&](size_t end) {
    out.append(s.substr(i, end - i));
    i = end;
  };
  while (i < n) {
    unsigned char ch = s[i];
    if (ch == '"') {
      copy(SkipQuoted(s, i, '"'));
      continue;
    }
    if (ch == '\'') {
      // 'Sheet name'! or '[Book.xlsx]Sheet'!; the reference after it is shifted.
      size_t j = SkipQuoted(s, i, '\'');
      if (j < n && s[j] == '!') ++j;
      res.keepsMeaning = false;
      copy(j);
      continue;
    }
    if (ch == '[') {
      // A workbook ([1]Sheet1!A1, [0]!Name) or a table column ([@Col]); the
      // sheet name after a workbook is taken up as any other.
      res.keepsMeaning = false;
      copy(SkipBrackets(s, i));
      continue;
    }
    if (ch == '#') {
      size_t j = MatchError(s, i);
      copy(j != kNone ? j : i + 1);
      continue;
    }
    if (IsLetter(ch) || ch == '$' || IsDigit(ch)) {
      Ref ref;
      if (MatchRef(s, i, ref)) {
        if (!EmitRef(s, ref, dRow, dCol, out)) {
          out.append("#REF!");
          // "#REF!#" would not parse: the spill operator goes with the reference.
          if (ref.end < n && s[ref.end] == '#') ++ref.end;
        }
        i = ref.end;
        continue;
      }
    }
    if (IsDigit(ch) || (ch == '.' && i + 1 < n && IsDigit(s[i + 1]))) {
      size_t k = IsDigit(ch) ? SheetPrefixEnd(s, i) : kNone;
      if (k != kNone) {  // a sheet named like 2024!
        res.keepsMeaning = false;
        copy(k);
      } else {
        copy(SkipNumber(s, i));
      }
      continue;
    }
    if (IsNameStart(ch)) {
      size_t j = SkipName(s, i);
      if (j < n && s[j] == '(') {  // function call
        copy(j);
        continue;
      }
      size_t k = SheetPrefixEnd(s, i);
      if (k != kNone) {
        res.keepsMeaning = false;
        copy(k);
        continue;
      }
      if (j < n && s[j] == '[') {  // Table1[Col]
        res.keepsMeaning = false;
        copy(SkipBrackets(s, j));
        continue;
      }
      std::string_view word = s.substr(i, j - i);
      bool literal = EqualsNoCase(word, "TRUE") || EqualsNoCase(word, "FALSE");
      // LAMBDA and LET parameters are local to the formula.
      bool parameter = word.size() > 6 && EqualsNoCase(word.substr(0, 6), "_xlpm.");
      if (!literal && !parameter) res.keepsMeaning = false;
      copy(j);
      continue;
    }
    out.push_back(static_cast<char>(ch));
    ++i;
  }
  return res;
}

}  // namespace corvane
