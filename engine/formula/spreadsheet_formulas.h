// The formula layer as the readers reach it: the FormulaServices of the spreadsheet's own
// formula language, handed to every reader a workbook is opened with.
#pragma once

#include "engine/core/formula_services.h"

namespace corvane {

// One for the whole program; stateless, so readers on any thread may share it.
const FormulaServices& SpreadsheetFormulas();

}  // namespace corvane
