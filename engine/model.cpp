#include "engine/model.h"

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

void SheetData::finishLoading() {
  sortCells();
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
  // A merged area is part of the sheet's layout even where its covered cells hold nothing.
  for (const Rect& m : merges) {
    r.r1 = std::min(r.r1, m.r1);
    r.r2 = std::max(r.r2, m.r2);
    r.c1 = std::min(r.c1, m.c1);
    r.c2 = std::max(r.c2, m.c2);
  }
  used = r.r2 < 0 ? Rect{} : r;
}

size_t SheetData::memoryBytes() const {
  size_t n = cells.capacity() * sizeof(Cell) + strings.bytes();
  for (const Formula& f : formulas) n += sizeof(Formula) + f.text.capacity() + f.cachedString.capacity();
  n += merges.capacity() * sizeof(Rect);
  return n;
}

}  // namespace corvane
