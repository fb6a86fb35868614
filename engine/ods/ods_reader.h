// Reader for OpenDocument spreadsheets (.ods).
#pragma once

#include <memory>
#include <string>

#include "engine/core/formula_services.h"
#include "engine/core/workbook_reader.h"

namespace corvane {

class ZipPackage;

// Takes an open package that is an OpenDocument spreadsheet (by its mimetype, manifest or
// content); `shownName` is how errors name the file. Formulas are converted through
// `formulas`, which must outlive the reader.
std::unique_ptr<WorkbookReader> OpenOds(std::unique_ptr<ZipPackage> package, const std::string& shownName,
                                        const FormulaServices& formulas);

}  // namespace corvane
