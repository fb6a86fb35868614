#include "engine/merge/sheet_sizes.h"

#include <algorithm>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/core/cellref.h"

namespace corvane {

void SheetSizes::Take(Shared& s, double size, bool hidden) {
  if (size >= 0) s.size = std::max(s.size, size);
  else s.anyDefault = true;
  s.allHidden = s.allHidden && hidden;
  ++s.blocks;
}

void SheetSizes::Add(const SheetData& src, const Rect& block, int32_t row, int32_t col, const std::vector<int32_t>* cols) {
  if (block.empty()) return;
  // Columns: each block column's width and hiding, where it landed.
  for (int32_t c = block.c1; c <= block.c2; ++c) {
    const ColInfo* info = src.colInfoAt(c);
    double width = info ? info->width : -1;
    bool hidden = info && info->hidden;
    int32_t to = cols ? (*cols)[static_cast<size_t>(c - block.c1)] : col + (c - block.c1);
    if (stacked_) {
      if (sharedCols_.size() <= static_cast<size_t>(to)) sharedCols_.resize(static_cast<size_t>(to) + 1);
      Take(sharedCols_[static_cast<size_t>(to)], width, hidden);
    } else if (width >= 0 || hidden) {
      own_.push_back(Own{to, width, hidden});
    }
  }
  // Rows: only those the sheet says something of.
  auto first = std::lower_bound(src.rowInfo.begin(), src.rowInfo.end(), block.r1,
                                [](const RowInfo& r, int32_t v) { return r.row < v; });
  for (auto it = first; it != src.rowInfo.end() && it->row <= block.r2; ++it) {
    if (it->height < 0 && !it->hidden) continue;
    int32_t to = row + (it->row - block.r1);
    if (stacked_) own_.push_back(Own{to, it->height, it->hidden});
    else Take(sharedRows_[to], it->height, it->hidden);
  }
  if (!stacked_) heights_.push_back(row + block.rows());
}

void SheetSizes::SetOwnColumn(int32_t col, double width) {
  if (sharedCols_.size() <= static_cast<size_t>(col)) sharedCols_.resize(static_cast<size_t>(col) + 1);
  sharedCols_[static_cast<size_t>(col)] = Shared{width, false, false, 1};
}

void SheetSizes::Apply(Worksheet& sheet) const {
  // What a shared column or row comes to, when `holders` blocks hold it.
  auto settle = [](const Shared& s, int32_t holders, double defaultSize, double& size, bool& hidden) {
    bool anyDefault = s.anyDefault || s.blocks < holders;
    size = s.size < 0 || (anyDefault && s.size <= defaultSize) ? -1 : s.size;
    hidden = s.blocks > 0 && s.blocks >= holders && s.allHidden;
  };
  auto columns = [&](int32_t c1, int32_t c2, double width, bool hidden) {
    if (width < 0 && !hidden) return;
    Range r = sheet.Range(FormatA1(0, c1), FormatA1(0, c2));
    if (width >= 0) r.SetColumnWidth(width);
    if (hidden) r.SetColumnHidden(true);
  };
  auto rowSize = [&](int32_t row, double height, bool hidden) {
    if (height < 0 && !hidden) return;
    Range r = sheet.Cells(row + 1, 1);
    if (height >= 0) r.SetRowHeight(height);
    if (hidden) r.SetRowHidden(true);
  };

  if (stacked_) {
    // Runs of neighbouring columns alike are set at once.
    int32_t start = 0;
    double runWidth = -1;
    bool runHidden = false;
    for (size_t c = 0; c <= sharedCols_.size(); ++c) {
      double width = -1;
      bool hidden = false;
      if (c < sharedCols_.size()) settle(sharedCols_[c], sharedCols_[c].blocks, kDefaultColumnWidth, width, hidden);
      if (c > 0 && (c == sharedCols_.size() || width != runWidth || hidden != runHidden)) {
        columns(start, static_cast<int32_t>(c) - 1, runWidth, runHidden);
        start = static_cast<int32_t>(c);
      }
      runWidth = width;
      runHidden = hidden;
    }
    for (const Own& o : own_) rowSize(o.index, o.size, o.hidden);
    return;
  }
  for (const Own& o : own_) columns(o.index, o.index, o.size, o.hidden);
  std::vector<int32_t> heights = heights_;
  std::sort(heights.begin(), heights.end());
  std::vector<int32_t> rows;
  rows.reserve(sharedRows_.size());
  for (const auto& entry : sharedRows_) rows.push_back(entry.first);
  std::sort(rows.begin(), rows.end());
  for (int32_t r : rows) {
    // The blocks that reach down to this row hold it.
    auto holders = static_cast<int32_t>(heights.end() - std::upper_bound(heights.begin(), heights.end(), r));
    double height;
    bool hidden;
    settle(sharedRows_.at(r), holders, kDefaultRowHeight, height, hidden);
    rowSize(r, height, hidden);
  }
}

}  // namespace corvane
