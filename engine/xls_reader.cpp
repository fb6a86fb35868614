#include "engine/xls_reader.h"

#include "engine/error.h"

namespace corvane {

std::unique_ptr<WorkbookReader> OpenXls(const std::string& path) {
  throw AutomationError("\"" + path + "\" is an Excel 97-2003 workbook (.xls), which this version of Corvane cannot read.");
}

}  // namespace corvane
