// Moving formulas the way a spreadsheet does when a cell is copied and pasted
// somewhere else: relative references follow, absolute ones stay.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/core/formula_services.h"

namespace corvane {

// Moves every relative part of the references in `formula` (no leading '=') by
// dRow rows and dCol columns. A reference or range pushed off the sheet becomes
// #REF! (after its sheet prefix, if it had one). String literals, array
// constants, function names, names and structured references are copied as
// written; whitespace is kept.
ShiftedFormula ShiftFormula(std::string_view formula, int32_t dRow, int32_t dCol);

// Where a sheet went when several were copied into a new workbook: its new name and how far
// its cells moved.
struct MovedSheet {
  std::string name;
  int32_t dRow = 0, dCol = 0;
};
// The sheet of that name as a formula writes it (unquoted), or nullptr for one that did not go.
using MovedSheetLookup = std::function<const MovedSheet*(std::string_view name)>;

// ShiftFormula for a formula whose references to other sheets may keep their meaning: a
// reference to a sheet `find` knows is written with its new name (quoted where it must be)
// and follows its cells, absolute parts too. References to any other sheet, to another
// workbook, to a defined name or a table, and a reference that the sheet's move pushes off
// the sheet, leave keepsMeaning false.
ShiftedFormula ShiftFormulaToMovedSheets(std::string_view formula, int32_t dRow, int32_t dCol,
                                         const MovedSheetLookup& find);

// Whether a formula written in column `ownCol` (0-based) refers, on its own sheet, to cells
// of columns c1..c2 other than its own: a reference naming another of those columns, or a
// whole row when the block has more than one column. With `ownColumnMoved`, an absolute
// reference to its own column counts too: it would name the column the cells left.
bool ReachesOtherColumns(std::string_view formula, int32_t ownCol, int32_t c1, int32_t c2, bool ownColumnMoved);

}  // namespace corvane
