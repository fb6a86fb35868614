// Reader for Office Open XML workbooks (.xlsx, .xlsm, Strict OOXML too).
#pragma once

#include <memory>
#include <string>

#include "engine/core/formula_services.h"
#include "engine/core/workbook_reader.h"

namespace corvane {

class ZipPackage;

// Takes an open package; `shownName` is how errors name the file. Shared formulas are moved
// and formulas checked through `formulas`, which must outlive the reader.
std::unique_ptr<WorkbookReader> OpenXlsx(std::unique_ptr<ZipPackage> package, const std::string& shownName,
                                         const FormulaServices& formulas);

// Decodes the _xHHHH_ escapes that OOXML uses for characters XML cannot carry: each is a
// UTF-16 code unit, so two in a row may make one character beyond the BMP; a surrogate
// without its partner becomes U+FFFD. The one decoder of every text an .xlsx part holds
// (shared and inline strings, string results, comments and their authors).
void DecodeOoxmlEscapes(std::string& s);

}  // namespace corvane
