// Reader for Excel 97-2003 workbooks (.xls): the compound file and its BIFF8 workbook stream.
// BIFF5 streams give values and formats; older streams are refused with a description.
#pragma once

#include <memory>
#include <string>

#include "engine/core/formula_services.h"
#include "engine/core/workbook_reader.h"

namespace corvane {

// Opens a compound file, or a bare BIFF stream, at `path`. Throws AutomationError naming the file.
// Formulas are decompiled through `formulas`, which must outlive the reader.
std::unique_ptr<WorkbookReader> OpenXls(const std::string& path, const FormulaServices& formulas);
// The same from the file's bytes in memory; errors name it `shownName`.
std::unique_ptr<WorkbookReader> OpenXlsBytes(std::string bytes, const std::string& shownName,
                                             const FormulaServices& formulas);

}  // namespace corvane
