#include "engine/paste.h"

#include <algorithm>
#include <functional>

#include "engine/cellref.h"
#include "engine/error.h"
#include "engine/formula_shift.h"
#include "engine/styles_reader.h"

namespace corvane {

StyleInterner::StyleInterner(StyleTable& table) : table_(table) {
  for (uint32_t i = 0; i < table_.styles.size(); ++i) index_.emplace(table_.styles[i], i);
}

uint32_t StyleInterner::intern(const Style& s) {
  auto it = index_.find(s);
  if (it != index_.end()) return it->second;
  auto i = static_cast<uint32_t>(table_.styles.size());
  table_.styles.push_back(s);
  index_.emplace(s, i);
  return i;
}

namespace {

constexpr uint32_t kUnmapped = UINT32_MAX;
constexpr double k1904Offset = 1462;  // days from 1900-01-00 to 1904-01-01 in the 1900 system

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.r1, b.r1), std::max(a.c1, b.c1), std::min(a.r2, b.r2), std::min(a.c2, b.c2)};
}

// Empties the target rectangle of a sheet before a block lands on it.
void ClearRect(SheetData& d, const Rect& t) {
  if (d.used.empty() || Intersect(d.used, t).empty()) return;
  std::erase_if(d.cells, [&](const Cell& c) { return t.contains(static_cast<int32_t>(c.row), c.col); });
  std::erase_if(d.merges, [&](const Rect& m) { return !Intersect(m, t).empty(); });
  std::erase_if(d.links, [&](const Hyperlink& l) { return t.contains(l.row, l.col); });
  std::erase_if(d.comments, [&](const Comment& c) { return t.contains(c.row, c.col); });
  d.recomputeUsed();
}

// Per-paste lookups from the source's indices to the destination's.
struct Mapper {
  const SheetData& src;
  const StyleTable& srcStyles;
  PasteDestination& dst;
  std::vector<uint32_t> style;
  std::vector<int8_t> isDate;
  std::vector<uint32_t> shared, own;

  Mapper(const SheetData& s, const StyleTable& ss, PasteDestination& d)
      : src(s), srcStyles(ss), dst(d), style(ss.styles.size(), kUnmapped), isDate(ss.styles.size(), -1) {
    if (s.shared) shared.assign(s.shared->size(), kUnmapped);
    own.assign(s.strings.size(), kUnmapped);
  }

  uint32_t mapStyle(uint32_t i) {
    if (i >= style.size()) return 0;
    if (style[i] == kUnmapped) style[i] = dst.styles.intern(srcStyles.styles[i]);
    return style[i];
  }

  bool dateStyle(uint32_t i) {
    if (i >= isDate.size()) return false;
    if (isDate[i] < 0) isDate[i] = IsDateFormat(srcStyles.styles[i].numFmt) ? 1 : 0;
    return isDate[i] == 1;
  }

  uint32_t mapString(const Cell& c) {
    auto& table = c.sub == kSharedString ? shared : own;
    if (c.aux >= table.size()) return dst.strings.intern(src.str(c));
    if (table[c.aux] == kUnmapped) table[c.aux] = dst.strings.intern(src.str(c));
    return table[c.aux];
  }

  // Source dates count from 1904, the destination's from 1900: the same day needs another number.
  double dateValue(double v, uint32_t styleIndex) {
    if (srcStyles.date1904 && !dst.date1904 && dateStyle(styleIndex)) return v + k1904Offset;
    if (!srcStyles.date1904 && dst.date1904 && dateStyle(styleIndex)) return v - k1904Offset;
    return v;
  }
};

}  // namespace

int64_t PasteBlock(const SheetData& src, const StyleTable& srcStyles, const Rect& rect,
                   PasteDestination& dst, int32_t row, int32_t col) {
  if (rect.empty()) return 0;
  int64_t lastRow = static_cast<int64_t>(row) + rect.rows() - 1;
  int64_t lastCol = static_cast<int64_t>(col) + rect.cols() - 1;
  if (row < 0 || col < 0 || lastRow >= kMaxRows || lastCol >= kMaxCols) {
    std::string where = row >= 0 && col >= 0 && row < kMaxRows && col < kMaxCols ? FormatA1(row, col) : "outside the sheet";
    throw AutomationError("A block of " + std::to_string(rect.rows()) + " rows and " + std::to_string(rect.cols()) +
                          " columns pasted at " + where + " would reach past the last row (1,048,576) or the last column (XFD) of the sheet.");
  }
  const Rect target{row, col, static_cast<int32_t>(lastRow), static_cast<int32_t>(lastCol)};
  SheetData& out = dst.data;
  ClearRect(out, target);

  const int32_t dRow = row - rect.r1, dCol = col - rect.c1;
  Mapper map(src, srcStyles, dst);
  int64_t asValues = 0;

  Rect added{INT32_MAX, INT32_MAX, -1, -1};
  auto [first, last] = src.rowSpan(rect.r1, rect.r2);
  const bool appendsInOrder =
      out.cells.empty() || out.cells.back().row < static_cast<uint32_t>(row);
  // Grow geometrically: a merge pastes hundreds of blocks into one sheet.
  if (size_t need = out.cells.size() + (last - first); need > out.cells.capacity())
    out.cells.reserve(std::max(need, out.cells.capacity() * 2));

  for (size_t i = first; i < last; ++i) {
    const Cell& s = src.cells[i];
    if (s.col < rect.c1 || s.col > rect.c2) continue;
    Cell c = s;
    c.row = static_cast<uint32_t>(static_cast<int32_t>(s.row) + dRow);
    c.col = static_cast<uint16_t>(s.col + dCol);
    c.style = map.mapStyle(s.style);
    switch (s.type) {
      case CellType::Number:
        c.num = map.dateValue(s.num, s.style);
        break;
      case CellType::String:
        c.aux = map.mapString(s);
        c.sub = kOwnString;
        break;
      case CellType::Formula: {
        const Formula& f = src.formulas[s.aux];
        bool arrayFits = f.kind == FormulaKind::Normal || Intersect(f.arrayRange, rect) == f.arrayRange;
        ShiftedFormula shifted;
        if (!f.valueOnly) shifted = ShiftFormula(f.text, dRow, dCol);
        if (!f.valueOnly && shifted.keepsMeaning && arrayFits) {
          Formula nf = f;
          nf.text = std::move(shifted.text);
          if (f.kind != FormulaKind::Normal)
            nf.arrayRange = Rect{f.arrayRange.r1 + dRow, f.arrayRange.c1 + dCol, f.arrayRange.r2 + dRow,
                                 f.arrayRange.c2 + dCol};
          if (static_cast<CachedKind>(s.sub) == CachedKind::Number) c.num = map.dateValue(s.num, s.style);
          c.aux = static_cast<uint32_t>(out.formulas.size());
          out.formulas.push_back(std::move(nf));
          break;
        }
        // The formula cannot keep its meaning here: its last result stands in for it.
        ++asValues;
        switch (static_cast<CachedKind>(s.sub)) {
          case CachedKind::Number: c.type = CellType::Number; c.num = map.dateValue(s.num, s.style); break;
          case CachedKind::Bool: c.type = CellType::Bool; break;
          case CachedKind::Error: c.type = CellType::Error; c.sub = f.cachedError; break;
          case CachedKind::String:
            c.type = CellType::String;
            c.sub = kOwnString;
            c.aux = dst.strings.intern(f.cachedString);
            break;
          case CachedKind::None: c.type = CellType::Blank; c.sub = 0; break;
        }
        if (c.type == CellType::Blank && c.style == 0) continue;
        break;
      }
      default:
        break;
    }
    if (c.type == CellType::Blank && c.style == 0) continue;
    out.cells.push_back(c);
    added.r1 = std::min<int32_t>(added.r1, static_cast<int32_t>(c.row));
    added.r2 = std::max<int32_t>(added.r2, static_cast<int32_t>(c.row));
    added.c1 = std::min<int32_t>(added.c1, c.col);
    added.c2 = std::max<int32_t>(added.c2, c.col);
  }
  if (!appendsInOrder) out.sorted = false;

  for (const Rect& m : src.merges) {
    Rect in = Intersect(m, rect);
    if (in.empty() || (in.rows() == 1 && in.cols() == 1)) continue;
    Rect moved{in.r1 + dRow, in.c1 + dCol, in.r2 + dRow, in.c2 + dCol};
    out.merges.push_back(moved);
    added.r1 = std::min(added.r1, moved.r1);
    added.r2 = std::max(added.r2, moved.r2);
    added.c1 = std::min(added.c1, moved.c1);
    added.c2 = std::max(added.c2, moved.c2);
  }
  for (const Hyperlink& l : src.links) {
    if (!rect.contains(l.row, l.col)) continue;
    Hyperlink nl = l;
    nl.row += dRow;
    nl.col += dCol;
    nl.rows = std::min(l.rows, rect.r2 - l.row + 1);
    nl.cols = std::min(l.cols, rect.c2 - l.col + 1);
    out.links.push_back(std::move(nl));
  }
  for (const Comment& cm : src.comments) {
    if (!rect.contains(cm.row, cm.col)) continue;
    Comment nc = cm;
    nc.row += dRow;
    nc.col += dCol;
    out.comments.push_back(std::move(nc));
  }

  if (added.r2 >= 0) {
    if (out.used.empty()) {
      out.used = added;
    } else {
      out.used.r1 = std::min(out.used.r1, added.r1);
      out.used.c1 = std::min(out.used.c1, added.c1);
      out.used.r2 = std::max(out.used.r2, added.r2);
      out.used.c2 = std::max(out.used.c2, added.c2);
    }
  }
  return asValues;
}

}  // namespace corvane
