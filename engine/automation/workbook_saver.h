// How the object model writes a workbook to a file: a small interface Workbook::SaveAs saves
// through, so that it does not depend on the writer. The writing layer implements it
// (engine/writing/xlsx_saver.h); every program installs it once as it starts (StartEngine,
// engine/merge/program_start.h).
#pragma once

#include <string>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/style.h"

namespace corvane {

struct SheetToSave {
  std::string name;                    // a valid sheet name, unique without regard to case
  const SheetData* data = nullptr;     // null saves an empty sheet
  const std::vector<Style>* styles = nullptr;  // the table the cells' style indices refer to
};

class WorkbookSaver {
 public:
  virtual ~WorkbookSaver() = default;
  // Writes `sheets` as a new workbook at `path`, replacing a file that is there. Throws
  // AutomationError with a description that names the file on any failure.
  virtual void Save(const std::string& path, const std::vector<SheetToSave>& sheets) const = 0;
};

}  // namespace corvane
