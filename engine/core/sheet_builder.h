// What every reader fills a sheet's cells through: typed values (numbers, shared and own
// strings, booleans, errors, blanks of a format, formulas with their last result) placed at a
// row and column in a format. The packed form of a Cell stays the model's business.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/core/model.h"

namespace corvane {

// A formula's last result as the file keeps it beside the formula.
struct CachedResult {
  CachedKind kind = CachedKind::None;
  double number = 0;                 // Number; Bool as 0 or 1
  ErrorCode error = ErrorCode::NA;   // Error
  std::string_view text;             // String
};

class SheetBuilder {
 public:
  explicit SheetBuilder(SheetData& sheet) : d_(sheet) {}

  // Room for about `cells` cells at once, as a stored dimension suggests: a guess, bounded,
  // that never fails.
  void reserve(uint64_t cells);

  // Values to place: those of Cell (Cell::NumberValue...), and these, which keep their text
  // or formula in the sheet.
  Cell ownString(std::string_view text) { return Cell::OwnStringValue(d_.strings.add(text)); }
  Cell formula(Formula f, const CachedResult& result);
  // A result as a plain value: a formula kept as what it showed (a blank when it has none).
  Cell value(const CachedResult& result);

  // Places `value` at (row, col), 0-based, in format `style`; false (nothing placed) outside
  // the sheet. Cells may come in any order.
  bool add(const Cell& value, int32_t row, int32_t col, uint32_t style) {
    if (row < 0 || row >= kMaxRows || col < 0 || col >= kMaxCols) return false;
    Cell c = value;
    c.place(row, col, style);
    auto& v = d_.cells;
    if (!v.empty() && (v.back().row > c.row || (v.back().row == c.row && v.back().col >= c.col))) d_.sorted = false;
    v.push_back(c);
    return true;
  }
  // Whether a blank cell of `style` at (row, col) says anything: a format other than the
  // default, or the default against a format its row or column gives. (A reader that knows
  // the row it is in has a format of its own may skip the question.)
  bool blankMatters(int32_t row, int32_t col, uint32_t style) const {
    return style != 0 || d_.takesRowOrColumnFormat(row, col);
  }

  // The cells placed so far, by the order they came in.
  size_t count() const { return d_.cells.size(); }
  const Cell& cell(size_t i) const { return d_.cells[i]; }
  // The formula of the Formula cell placed as number `i`.
  Formula& formulaOf(size_t i) { return d_.formula(d_.cells[i]); }
  // The value cell placed as number `i` becomes formula `f`, its value the formula's result:
  // for formulas whose tokens come after their cells.
  void toFormula(size_t i, Formula f);
  // The formula cell placed as number `i` becomes the plain cell of its result: a part of an
  // array formula other than its first cell, a cell of a data table. A blank of the default
  // format that comes of it is dropped by finish().
  void toValue(size_t i);

  // Once every cell is in: drops what toValue left of no use, sorts the cells and works out
  // the used range (SheetData::finishLoading).
  void finish();

  SheetData& sheet() { return d_; }

 private:
  SheetData& d_;
  bool dropBlanks_ = false;
};

}  // namespace corvane
