#include "engine/core/model.h"

#include <algorithm>

namespace corvane {

namespace {
constexpr std::string_view kErrorTexts[] = {
    "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A",
    "#GETTING_DATA", "#SPILL!", "#CALC!", "#FIELD!", "#BUSY!", "#N/A"};
}

std::string_view ErrorText(ErrorCode e) {
  auto i = static_cast<size_t>(e);
  return i < std::size(kErrorTexts) ? kErrorTexts[i] : "#N/A";
}

ErrorCode ParseError(std::string_view text) {
  for (size_t i = 0; i + 1 < std::size(kErrorTexts); ++i)
    if (kErrorTexts[i] == text) return static_cast<ErrorCode>(i);
  return ErrorCode::Unknown;
}

static bool CellLess(const Cell& a, const Cell& b) {
  return a.row != b.row ? a.row < b.row : a.col < b.col;
}

void SheetData::sortCells() {
  if (sorted) return;
  // Later cells win over earlier ones at the same place: a stable sort keeps their order.
  std::stable_sort(cells.begin(), cells.end(), CellLess);
  auto out = cells.begin();
  for (auto it = cells.begin(); it != cells.end(); ++it) {
    if (out != cells.begin() && (out - 1)->row == it->row && (out - 1)->col == it->col)
      *(out - 1) = *it;
    else
      *out++ = *it;
  }
  cells.erase(out, cells.end());
  sorted = true;
}

const Cell* SheetData::find(int32_t row, int32_t col) const {
  Cell key;
  key.row = static_cast<uint32_t>(row);
  key.col = static_cast<uint16_t>(col);
  auto it = std::lower_bound(cells.begin(), cells.end(), key, CellLess);
  if (it != cells.end() && it->row == key.row && it->col == key.col) return &*it;
  return nullptr;
}

std::pair<size_t, size_t> SheetData::rowSpan(int32_t r1, int32_t r2) const {
  auto lo = std::lower_bound(cells.begin(), cells.end(), static_cast<uint32_t>(r1),
                             [](const Cell& c, uint32_t r) { return c.row < r; });
  auto hi = std::upper_bound(lo, cells.end(), static_cast<uint32_t>(r2),
                             [](uint32_t r, const Cell& c) { return r < c.row; });
  return {static_cast<size_t>(lo - cells.begin()), static_cast<size_t>(hi - cells.begin())};
}

const RowInfo* SheetData::rowInfoAt(int32_t row) const {
  auto it = std::lower_bound(rowInfo.begin(), rowInfo.end(), row, [](const RowInfo& r, int32_t v) { return r.row < v; });
  return it != rowInfo.end() && it->row == row ? &*it : nullptr;
}

const ColInfo* SheetData::colInfoAt(int32_t col) const {
  auto it = std::lower_bound(colInfo.begin(), colInfo.end(), col, [](const ColInfo& c, int32_t v) { return c.last < v; });
  return it != colInfo.end() && it->first <= col ? &*it : nullptr;
}

bool SheetData::takesRowOrColumnFormat(int32_t row, int32_t col) const {
  if (const RowInfo* r = rowInfoAt(row); r && r->hasStyle) return true;
  const ColInfo* c = colInfoAt(col);
  return c && c->hasStyle;
}

void SheetData::finishLoading() {
  sortCells();
  // Rows in order, one entry a row (a later one wins); column runs in order and apart (an
  // earlier run keeps the columns two runs name).
  auto rowLess = [](const RowInfo& a, const RowInfo& b) { return a.row < b.row; };
  if (!std::is_sorted(rowInfo.begin(), rowInfo.end(), rowLess)) {
    std::stable_sort(rowInfo.begin(), rowInfo.end(), rowLess);
    auto out = rowInfo.begin();
    for (auto it = rowInfo.begin(); it != rowInfo.end(); ++it) {
      if (out != rowInfo.begin() && (out - 1)->row == it->row) *(out - 1) = *it;
      else *out++ = *it;
    }
    rowInfo.erase(out, rowInfo.end());
  }
  std::stable_sort(colInfo.begin(), colInfo.end(), [](const ColInfo& a, const ColInfo& b) { return a.first < b.first; });
  size_t kept = 0;
  for (size_t i = 0; i < colInfo.size(); ++i) {
    ColInfo c = colInfo[i];
    if (kept > 0) c.first = std::max(c.first, colInfo[kept - 1].last + 1);
    if (c.first <= c.last) colInfo[kept++] = c;
  }
  colInfo.resize(kept);
  cells.shrink_to_fit();
  formulas.shrink_to_fit();
  recomputeUsed();
}

void SheetData::recomputeUsed(uint32_t defaultStyle) {
  Rect r;
  r.r1 = r.c1 = INT32_MAX;
  r.r2 = r.c2 = -1;
  for (const Cell& c : cells) {
    if (c.type == CellType::Blank && c.style == defaultStyle) continue;
    int32_t row = static_cast<int32_t>(c.row), col = c.col;
    r.r1 = std::min(r.r1, row);
    r.r2 = std::max(r.r2, row);
    r.c1 = std::min(r.c1, col);
    r.c2 = std::max(r.c2, col);
  }
  auto take = [&r](const Rect& m) {
    r.r1 = std::min(r.r1, m.r1);
    r.r2 = std::max(r.r2, m.r2);
    r.c1 = std::min(r.c1, m.c1);
    r.c2 = std::max(r.c2, m.c2);
  };
  // A merged area is part of the sheet's layout even where its covered cells hold nothing;
  // a comment or a link is as much part of its cell as a value.
  for (const Rect& m : merges) take(m);
  for (const Comment& c : comments) take(Rect{c.row, c.col, c.row, c.col});
  for (const Hyperlink& l : links) take(Rect{l.row, l.col, l.row + std::max(1, l.rows) - 1, l.col + std::max(1, l.cols) - 1});
  // A row with a format of its own is in use, as a spreadsheet's stored dimension has it
  // (A33:A39 for a sheet whose only content is formatted rows 33 to 39); a column's format
  // is not. Such rows bring no columns: column A when nothing else does.
  for (const RowInfo& ri : rowInfo) {
    if (!ri.hasStyle || ri.style == defaultStyle) continue;
    r.r1 = std::min(r.r1, ri.row);
    r.r2 = std::max(r.r2, ri.row);
    if (r.c2 < 0) r.c1 = r.c2 = 0;
  }
  used = r.r2 < 0 ? Rect{} : r;
}

size_t SheetData::memoryBytes() const {
  size_t n = cells.capacity() * sizeof(Cell) + strings.bytes();
  for (const Formula& f : formulas) n += sizeof(Formula) + f.text.capacity() + f.cachedString.capacity();
  n += merges.capacity() * sizeof(Rect);
  n += rowInfo.capacity() * sizeof(RowInfo) + colInfo.capacity() * sizeof(ColInfo);
  return n;
}

}  // namespace corvane
