// Moving formulas the way a spreadsheet does when a cell is copied and pasted
// somewhere else: relative references follow, absolute ones stay.
#pragma once

#include <cstdint>
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

}  // namespace corvane
