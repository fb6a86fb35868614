#include "engine/xlsb_reader.h"

#include "engine/error.h"
#include "engine/zip_package.h"

namespace corvane {

std::unique_ptr<WorkbookReader> OpenXlsb(std::unique_ptr<ZipPackage>, const std::string& shownName) {
  throw AutomationError("\"" + shownName + "\" is an Excel binary workbook (.xlsb), which this version of Corvane cannot read.");
}

}  // namespace corvane
