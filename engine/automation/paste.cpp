#include "engine/automation/paste.h"

#include <algorithm>
#include <functional>

#include "engine/core/number_format.h"
#include "engine/core/cellref.h"
#include "engine/core/error.h"

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
    auto& table = c.inSharedStrings() ? shared : own;
    uint32_t i = c.stringIndex();
    if (i >= table.size()) return dst.strings.intern(src.str(c));
    if (table[i] == kUnmapped) table[i] = dst.strings.intern(src.str(c));
    return table[i];
  }

  // Source dates count from 1904, the destination's from 1900: the same day needs another number.
  double dateValue(double v, uint32_t styleIndex) {
    if (srcStyles.date1904 && !dst.date1904 && dateStyle(styleIndex)) return v + k1904Offset;
    if (!srcStyles.date1904 && dst.date1904 && dateStyle(styleIndex)) return v - k1904Offset;
    return v;
  }
};

// The formats positions of a block without a cell of their own take along: their row's when the
// row has one, else their column's. Spreadsheets paste every position's effective format, so
// such a position lands as a blank cell of that format. Only positions inside the block are
// looked at: a column format over a million rows costs nothing beyond the rows copied.
class InheritedFormats {
 public:
  InheritedFormats(const SheetData& src, const Rect& rect, Mapper& map) : rows_(src.rowInfo), map_(map) {
    for (const ColInfo& c : src.colInfo) {
      if (!c.hasStyle || c.last < rect.c1 || c.first > rect.c2) continue;
      uint32_t style = map.mapStyle(c.style);
      if (style != 0) cols_.push_back({std::max(c.first, rect.c1), std::min(c.last, rect.c2), style});
    }
    next_ = static_cast<size_t>(std::lower_bound(rows_.begin(), rows_.end(), rect.r1,
                                                 [](const RowInfo& r, int32_t v) { return r.row < v; }) -
                                rows_.begin());
    for (size_t i = next_; i < rows_.size() && rows_[i].row <= rect.r2 && !rowsAny_; ++i) rowsAny_ = rows_[i].hasStyle;
  }

  bool any() const { return rowsAny_ || !cols_.empty(); }

  // Calls emit(row, col, style) for each position of rows r1..r2, columns c1..c2, in order.
  // Rows are asked for in increasing order.
  template <typename Emit>
  void fill(int32_t r1, int32_t r2, int32_t c1, int32_t c2, Emit&& emit) {
    if (r1 > r2 || c1 > c2) return;
    if (cols_.empty()) {
      // Only rows with a format of their own give anything: the others are passed over.
      for (; next_ < rows_.size() && rows_[next_].row < r1; ++next_) {}
      for (size_t i = next_; i < rows_.size() && rows_[i].row <= r2; ++i)
        if (rows_[i].hasStyle) fillRow(rows_[i].row, c1, c2, map_.mapStyle(rows_[i].style), emit);
      return;
    }
    for (int32_t r = r1; r <= r2; ++r) {
      for (; next_ < rows_.size() && rows_[next_].row < r; ++next_) {}
      if (next_ < rows_.size() && rows_[next_].row == r && rows_[next_].hasStyle) {
        fillRow(r, c1, c2, map_.mapStyle(rows_[next_].style), emit);
        continue;
      }
      for (const Run& run : cols_)
        for (int32_t c = std::max(c1, run.c1); c <= std::min(c2, run.c2); ++c) emit(r, c, run.style);
    }
  }

 private:
  struct Run {
    int32_t c1, c2;
    uint32_t style;  // the destination's
  };

  template <typename Emit>
  static void fillRow(int32_t r, int32_t c1, int32_t c2, uint32_t style, Emit& emit) {
    if (style == 0) return;  // the row's format is the default: nothing to land
    for (int32_t c = c1; c <= c2; ++c) emit(r, c, style);
  }

  const std::vector<RowInfo>& rows_;
  Mapper& map_;
  std::vector<Run> cols_;
  size_t next_ = 0;
  bool rowsAny_ = false;
};

}  // namespace

int64_t PasteBlock(const SheetData& src, const StyleTable& srcStyles, const Rect& rect,
                   PasteDestination& dst, int32_t row, int32_t col, const PasteRules& rules) {
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
  if (!rules.intoEmpty) ClearRect(out, target);

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

  auto take = [&added](const Rect& r) {
    added.r1 = std::min(added.r1, r.r1);
    added.r2 = std::max(added.r2, r.r2);
    added.c1 = std::min(added.c1, r.c1);
    added.c2 = std::max(added.c2, r.c2);
  };

  // Positions without a cell between the cells, in the order of the cells: those that take a
  // format from their row or column become blank cells of it.
  InheritedFormats inherited(src, rect, map);
  const bool inherits = inherited.any();
  int32_t atRow = rect.r1, atCol = rect.c1;  // the first position not yet passed

  // The label column goes first on each row, before the row's cells.
  const bool labels = rules.labelCol >= 0 && rules.labelCol < kMaxCols;
  uint32_t headString = 0, labelString = 0;
  if (labels) {
    headString = dst.strings.intern(rules.headText);
    labelString = dst.strings.intern(rules.labelText);
  }
  int32_t labelRow = rect.r1;  // the first source row whose label is not written yet
  auto labelsTo = [&](int32_t r) {
    for (; labelRow <= r; ++labelRow) {
      out.cells.push_back(Cell::OwnStringValue(labelRow - rect.r1 < rules.headRows ? headString : labelString)
                              .place(labelRow + dRow, rules.labelCol, 0));
      take(Rect{labelRow + dRow, rules.labelCol, labelRow + dRow, rules.labelCol});
    }
  };

  auto blank = [&](int32_t r, int32_t c, uint32_t style) {
    if (labels) labelsTo(r);
    Cell b;
    b.row = static_cast<uint32_t>(r + dRow);
    b.col = static_cast<uint16_t>(c + dCol);
    b.style = style;
    out.cells.push_back(b);
    take(Rect{r + dRow, c + dCol, r + dRow, c + dCol});
  };
  // Lands the inherited formats of the positions from the one not yet passed up to (r, c).
  auto passTo = [&](int32_t r, int32_t c) {
    if (r == atRow) {
      inherited.fill(r, r, atCol, c - 1, blank);
    } else {
      inherited.fill(atRow, atRow, atCol, rect.c2, blank);
      inherited.fill(atRow + 1, r - 1, rect.c1, rect.c2, blank);
      inherited.fill(r, r, rect.c1, c - 1, blank);
    }
    atRow = r;
    atCol = c + 1;
  };

  for (size_t i = first; i < last; ++i) {
    const Cell& s = src.cells[i];
    if (s.col < rect.c1 || s.col > rect.c2) continue;
    if (inherits) passTo(static_cast<int32_t>(s.row), s.col);
    Cell c = s;
    switch (s.type) {
      case CellType::Number:
        c = Cell::NumberValue(map.dateValue(s.number(), s.style));
        break;
      case CellType::String:
        c = Cell::OwnStringValue(map.mapString(s));
        break;
      case CellType::Formula: {
        const Formula& f = src.formula(s);
        bool arrayFits = f.kind == FormulaKind::Normal || Intersect(f.arrayRange, rect) == f.arrayRange;
        ShiftedFormula shifted;
        if (!f.valueOnly) {
          shifted = rules.sheets ? ShiftFormulaToMovedSheets(f.text, dRow, dCol, *rules.sheets)
                                 : ShiftFormula(f.text, dRow, dCol);
          if (rules.apartC1 <= rules.apartC2 && shifted.keepsMeaning &&
              ReachesOtherColumns(f.text, s.col, rules.apartC1, rules.apartC2, rules.columnsMoved))
            shifted.keepsMeaning = false;
        }
        if (!f.valueOnly && shifted.keepsMeaning && arrayFits) {
          Formula nf = f;
          nf.text = std::move(shifted.text);
          if (f.kind != FormulaKind::Normal)
            nf.arrayRange = Rect{f.arrayRange.r1 + dRow, f.arrayRange.c1 + dCol, f.arrayRange.r2 + dRow,
                                 f.arrayRange.c2 + dCol};
          double cached = s.cached() == CachedKind::Number ? map.dateValue(s.number(), s.style) : s.number();
          c = Cell::FormulaValue(static_cast<uint32_t>(out.formulas.size()), s.cached(), cached);
          out.formulas.push_back(std::move(nf));
          break;
        }
        // The formula cannot keep its meaning here: its last result stands in for it.
        ++asValues;
        c = CachedResultCell(s, f, [&](std::string_view text) { return dst.strings.intern(text); });
        if (c.type == CellType::Number) c = Cell::NumberValue(map.dateValue(c.number(), s.style));
        break;
      }
      default:
        break;
    }
    c.place(static_cast<int32_t>(s.row) + dRow, s.col + dCol, map.mapStyle(s.style));
    if (c.type == CellType::Blank && c.style == 0) continue;
    if (labels) labelsTo(static_cast<int32_t>(s.row));
    out.cells.push_back(c);
    take(Rect{static_cast<int32_t>(c.row), c.col, static_cast<int32_t>(c.row), c.col});
  }
  if (inherits) passTo(rect.r2, rect.c2 + 1);
  if (labels) labelsTo(rect.r2);
  if (!appendsInOrder) out.sorted = false;

  for (const Rect& m : src.merges) {
    Rect in = Intersect(m, rect);
    if (in.empty() || (in.rows() == 1 && in.cols() == 1)) continue;
    Rect moved{in.r1 + dRow, in.c1 + dCol, in.r2 + dRow, in.c2 + dCol};
    out.merges.push_back(moved);
    take(moved);
  }
  for (const Hyperlink& l : src.links) {
    if (!rect.contains(l.row, l.col)) continue;
    Hyperlink nl = l;
    nl.row += dRow;
    nl.col += dCol;
    nl.rows = std::min(l.rows, rect.r2 - l.row + 1);
    nl.cols = std::min(l.cols, rect.c2 - l.col + 1);
    take(Rect{nl.row, nl.col, nl.row + std::max(1, nl.rows) - 1, nl.col + std::max(1, nl.cols) - 1});
    out.links.push_back(std::move(nl));
  }
  for (const Comment& cm : src.comments) {
    if (!rect.contains(cm.row, cm.col)) continue;
    Comment nc = cm;
    nc.row += dRow;
    nc.col += dCol;
    take(Rect{nc.row, nc.col, nc.row, nc.col});
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
