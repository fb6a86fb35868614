#include "engine/formula/formula_shift.h"

#include "engine/core/ascii.h"
#include "engine/core/model.h"
#include "engine/formula/formula_lexer.h"
#include "engine/formula/formula_text.h"

// One pass over the formula text. Every token that cannot hold a reference
// (strings, quoted sheet names, brackets, error literals, numbers, names) is
// copied as a slice of the input; only the row and column
// parts of references that actually move are written anew, so a shift by
// (0, 0) gives back the text byte for byte.

namespace corvane {

namespace {

// Writes `ref` moved by (dRow, dCol) after `out`; false (nothing written) when
// any part leaves the sheet.
bool EmitRef(std::string_view s, const FormulaRef& ref, int32_t dRow, int32_t dCol, std::string& out) {
  int32_t moved[4];
  for (int i = 0; i < ref.count; ++i) {
    const RefPart& p = ref.parts[i];
    int64_t v = p.v;
    if (!p.abs) v += p.isRow ? dRow : dCol;
    if (v < 0 || v >= (p.isRow ? kMaxRows : kMaxCols)) return false;
    moved[i] = static_cast<int32_t>(v);
  }
  size_t at = ref.parts[0].b;
  for (int i = 0; i < ref.count; ++i) {
    const RefPart& p = ref.parts[i];
    out.append(s.substr(at, p.b - at));
    if (moved[i] == p.v) {
      out.append(s.substr(p.b, p.e - p.b));
    } else if (p.isRow) {
      AppendRowPart(out, moved[i], false);  // a part that moves is relative: no '$'
    } else {
      AppendColumnPart(out, moved[i], false);
    }
    at = p.e;
  }
  return true;
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
    FormulaToken t = NextFormulaToken(s, i);
    switch (t.kind) {
      case FormulaTok::Ref:
        if (!EmitRef(s, t.ref, dRow, dCol, out)) {
          out.append("#REF!");
          // "#REF!#" would not parse: the spill operator goes with the reference.
          if (t.end < n && s[t.end] == '#') ++t.end;
        }
        i = t.end;
        continue;
      case FormulaTok::QuotedSheet:  // 'Sheet name'! or '[Book.xlsx]Sheet'!; the reference after it moves
      case FormulaTok::Bracketed:    // a workbook ([1]Sheet1!A1, [0]!Name) or a table column ([@Col])
      case FormulaTok::SheetPrefix:
      case FormulaTok::Table:        // Table1[Col]
        res.keepsMeaning = false;
        break;
      case FormulaTok::Name: {
        std::string_view word = s.substr(t.begin, t.end - t.begin);
        bool literal = EqualsNoCase(word, "TRUE") || EqualsNoCase(word, "FALSE");
        // LAMBDA and LET parameters are local to the formula.
        bool parameter = word.size() > 6 && EqualsNoCase(word.substr(0, 6), "_xlpm.");
        if (!literal && !parameter) res.keepsMeaning = false;
        break;
      }
      default:
        break;
    }
    copy(t.end);
  }
  return res;
}

}  // namespace corvane
