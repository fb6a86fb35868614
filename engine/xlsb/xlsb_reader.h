// Reader for Excel binary workbooks (.xlsb): a zip package of binary record parts.
#pragma once

#include <memory>
#include <string>

#include "engine/core/formula_services.h"
#include "engine/core/workbook_reader.h"

namespace corvane {

class ZipPackage;

// Takes an open package whose main document is a binary workbook; `shownName` is how errors name the file.
// Formulas are decompiled through `formulas`, which must outlive the reader.
std::unique_ptr<WorkbookReader> OpenXlsb(std::unique_ptr<ZipPackage> package, const std::string& shownName,
                                         const FormulaServices& formulas);

}  // namespace corvane
