#include "engine/formula/formula_shift.h"

#include <algorithm>
#include <climits>

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
// any part leaves the sheet. Absolute parts stay, unless `moveAbsolute`: then the
// reference follows cells that moved.
bool EmitRef(std::string_view s, const FormulaRef& ref, int32_t dRow, int32_t dCol, std::string& out,
             bool moveAbsolute = false) {
  int32_t moved[4];
  for (int i = 0; i < ref.count; ++i) {
    const RefPart& p = ref.parts[i];
    int64_t v = p.v;
    if (!p.abs || moveAbsolute) v += p.isRow ? dRow : dCol;
    if (v < 0 || v >= (p.isRow ? kMaxRows : kMaxCols)) return false;
    moved[i] = static_cast<int32_t>(v);
  }
  size_t at = ref.parts[0].b;
  for (int i = 0; i < ref.count; ++i) {
    const RefPart& p = ref.parts[i];
    out.append(s.substr(at, p.b - at));
    if (moved[i] == p.v) {
      out.append(s.substr(p.b, p.e - p.b));
      at = p.e;
      continue;
    }
    if (p.isRow) {
      AppendRowPart(out, moved[i], p.abs);
    } else {
      AppendColumnPart(out, moved[i], p.abs);
    }
    at = p.e;
  }
  return true;
}

// The sheet a prefix token names ("Data!", "'My data'!"), unquoted; false for a
// workbook's prefix ('[Book.xlsx]Data'!) or a quoted text without its '!'.
bool PrefixSheetName(std::string_view s, const FormulaToken& t, std::string& name) {
  if (t.kind == FormulaTok::SheetPrefix) {
    name.assign(s.substr(t.begin, t.end - 1 - t.begin));
    return true;
  }
  if (!t.closed || t.end - t.begin < 4 || s[t.end - 1] != '!') return false;
  std::string_view inner = s.substr(t.begin + 1, t.end - t.begin - 3);
  name.clear();
  for (size_t i = 0; i < inner.size(); ++i) {
    name += inner[i];
    if (inner[i] == '\'') ++i;  // a doubled quote stands for one
  }
  return !name.empty() && name[0] != '[';
}

// The one pass both shifts make. `prefix` is handed each sheet prefix token and writes what
// stands for it and for the reference after it, returning where the pass goes on; it
// returns the token's start when it leaves the prefix to be copied.
template <typename Prefix>
ShiftedFormula Shift(std::string_view s, int32_t dRow, int32_t dCol, Prefix&& prefix) {
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
      case FormulaTok::SheetPrefix: {
        size_t next = prefix(t, res);
        if (next != t.begin) {
          i = next;
          continue;
        }
        res.keepsMeaning = false;
        break;
      }
      case FormulaTok::Bracketed:    // a workbook ([1]Sheet1!A1, [0]!Name) or a table column ([@Col])
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

}  // namespace

ShiftedFormula ShiftFormula(std::string_view s, int32_t dRow, int32_t dCol) {
  return Shift(s, dRow, dCol, [](const FormulaToken& t, ShiftedFormula&) { return t.begin; });
}

ShiftedFormula ShiftFormulaToMovedSheets(std::string_view s, int32_t dRow, int32_t dCol, const MovedSheetLookup& find) {
  std::string name;
  return Shift(s, dRow, dCol, [&](const FormulaToken& t, ShiftedFormula& res) -> size_t {
    const MovedSheet* target = PrefixSheetName(s, t, name) && t.end < s.size() ? find(name) : nullptr;
    if (!target) return t.begin;
    FormulaToken r = NextFormulaToken(s, t.end);
    if (r.kind != FormulaTok::Ref) return t.begin;
    AppendSheetPrefix(res.text, {}, target->name);
    // The cells referred to moved with their sheet, wherever this formula went.
    if (!EmitRef(s, r.ref, target->dRow, target->dCol, res.text, true)) res.keepsMeaning = false;
    return r.end;
  });
}

bool ReachesOtherColumns(std::string_view s, int32_t ownCol, int32_t c1, int32_t c2, bool ownColumnMoved) {
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    FormulaToken t = NextFormulaToken(s, i);
    i = t.end;
    if (t.kind == FormulaTok::SheetPrefix || t.kind == FormulaTok::QuotedSheet) {
      // Cells of another sheet did not move with this block.
      if (i < n) {
        FormulaToken r = NextFormulaToken(s, i);
        if (r.kind == FormulaTok::Ref) i = r.end;
      }
      continue;
    }
    if (t.kind != FormulaTok::Ref) continue;
    int32_t lo = INT32_MAX, hi = -1;
    bool absolute = false;
    for (int k = 0; k < t.ref.count; ++k) {
      const RefPart& p = t.ref.parts[k];
      if (p.isRow) continue;
      lo = std::min(lo, p.v);
      hi = std::max(hi, p.v);
      absolute = absolute || p.abs;
    }
    if (hi < 0) {  // whole rows: every column of the block
      if (c1 < c2) return true;
      continue;
    }
    if (hi < c1 || lo > c2) continue;
    if (lo != ownCol || hi != ownCol || (absolute && ownColumnMoved)) return true;
  }
  return false;
}

}  // namespace corvane
