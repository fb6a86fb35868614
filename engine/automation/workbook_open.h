// Opening a workbook file by its content: the one place that knows every format's reader.
#pragma once

#include <memory>
#include <string>

#include "engine/core/workbook_reader.h"

namespace corvane {

// Where an application gets the reader of a workbook it opens. Without one, the file is read
// there and then by OpenWorkbookFile.
class WorkbookSource {
 public:
  virtual ~WorkbookSource() = default;
  // The same as OpenWorkbookFile(path): throws as it throws.
  virtual std::unique_ptr<WorkbookReader> open(const std::string& path) = 0;
};

// Opens a workbook file of any format Corvane reads, judged by its content, not its name.
// Reads no more than the sheet list. Throws AutomationError naming the file.
std::unique_ptr<WorkbookReader> OpenWorkbookFile(const std::string& path);
// The same from a file's bytes in memory; errors name it `shownName`.
std::unique_ptr<WorkbookReader> OpenWorkbookBytes(std::string bytes, const std::string& shownName);

}  // namespace corvane
