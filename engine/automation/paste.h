// Landing a copied block of cells on another sheet, the way a spreadsheet's paste does.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/string_interner.h"
#include "engine/formula/formula_shift.h"

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

// What a paste may know beyond the cells it lands. By default it knows nothing more: every
// formula that refers to another sheet is pasted as its value.
struct PasteRules {
  // Columns c1..c2 (0-based, of the copied sheet) whose cells were pasted apart from one
  // another, a few at a time: a formula that refers to one of them other than its own
  // cannot keep its meaning and is pasted as its value. c1 > c2: none.
  int32_t apartC1 = 0, apartC2 = -1;
  // Whether the columns of this paste landed elsewhere than their neighbours did.
  bool columnsMoved = false;
  // Sheets of the copied sheet's workbook that went into the same new workbook: references
  // to them keep their meaning, under the sheet's new name. Not owned; nullptr for none.
  const MovedSheetLookup* sheets = nullptr;
  // The caller knows the target rectangle holds no cell: it is not searched for cells to
  // replace (a block pasted a few columns at a time beside what is already there).
  bool intoEmpty = false;
  // A column of labels written beside the block, on every row the block lands on: in
  // destination column `labelCol` (0-based, outside the block), `headText` on the block's
  // first `headRows` rows and `labelText` below them. labelCol < 0: none.
  int32_t labelCol = -1;
  int32_t headRows = 0;
  std::string_view headText, labelText;
};

// Pastes `rect` of `src` with its top-left cell at (row, col) of the destination (0-based).
// Cells already in the target rectangle are replaced. Throws AutomationError when the block
// would reach past the sheet's last row or column. Returns how many formulas were pasted as
// their values because their meaning could not travel (other sheets, workbooks, names).
int64_t PasteBlock(const SheetData& src, const StyleTable& srcStyles, const Rect& rect,
                   PasteDestination& dst, int32_t row, int32_t col, const PasteRules& rules = {});

}  // namespace corvane
