// Landing a copied block of cells on another sheet, the way a spreadsheet's paste does.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/string_interner.h"

namespace corvane {

// Gives every distinct format one index in a table.
class StyleInterner {
 public:
  explicit StyleInterner(StyleTable& table);
  uint32_t intern(const Style& s);
  StyleTable& table() { return table_; }

 private:
  StyleTable& table_;
  std::unordered_map<Style, uint32_t, StyleHash> index_;
};

struct PasteDestination {
  SheetData& data;
  StyleInterner& styles;
  StringInterner& strings;
  bool date1904 = false;
};

// Pastes `rect` of `src` with its top-left cell at (row, col) of the destination (0-based).
// Cells already in the target rectangle are replaced. Throws AutomationError when the block
// would reach past the sheet's last row or column. Returns how many formulas were pasted as
// their values because their meaning could not travel (other sheets, workbooks, names).
int64_t PasteBlock(const SheetData& src, const StyleTable& srcStyles, const Rect& rect,
                   PasteDestination& dst, int32_t row, int32_t col);

}  // namespace corvane
