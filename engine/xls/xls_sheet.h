// One sheet's substream of an .xls workbook: its cells, formulas with their results, row and
// column formats, merged cells, comments and hyperlinks, read into a SheetData.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/formula_services.h"
#include "engine/core/model.h"
#include "engine/xls/xls_codepage.h"
#include "engine/xls/xls_records.h"

namespace corvane::xls {

// Reads the sheet whose BOF record `rec` is at into `sheet`, up to its EOF. `xfToStyle` maps
// XF indexes to the workbook's styles; `what` names the file and the sheet in errors.
void LoadSheet(Records& rec, uint64_t streamSize, SheetData& sheet, const BiffLinks& links,
               const FormulaServices& formulas, bool v8, const std::vector<uint32_t>& xfToStyle,
               CodePage& codePage, std::string what);

}  // namespace corvane::xls
