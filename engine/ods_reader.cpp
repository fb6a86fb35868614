#include "engine/ods_reader.h"

#include "engine/error.h"
#include "engine/zip_package.h"

namespace corvane {

std::unique_ptr<WorkbookReader> OpenOds(std::unique_ptr<ZipPackage>, const std::string& shownName) {
  throw AutomationError("\"" + shownName + "\" is an OpenDocument spreadsheet, which this version of Corvane cannot read.");
}

}  // namespace corvane
