// Saving worksheets as a new .xlsx workbook (through libxlsxwriter).
#pragma once

#include <string>
#include <vector>

#include "engine/model.h"
#include "engine/style.h"

namespace corvane {

struct SheetToSave {
  std::string name;                    // already a valid, unique sheet name
  const SheetData* data = nullptr;     // cells should be sorted; null saves an empty sheet
  const std::vector<Style>* styles = nullptr;  // the table the cells' style indices refer to
};

// Writes a new .xlsx at `path`, replacing a file that is there. The workbook is written
// beside the target first and moved over it at the end, so a failed save leaves an existing
// file untouched. Throws AutomationError with a description that names the file on any
// failure (folder missing, no permission, libxlsxwriter error).
//
// What cannot be written as it is:
// - an error value is written as a formula of the error literal ("=#N/A") with the error
//   text as its cached result;
// - empty strings become blank cells (kept only when they carry a format);
// - strings are cut to 32767 UTF-16 units, Excel's cell limit;
// - a hyperlink libxlsxwriter refuses (too long, too many) is dropped, its cell is kept;
// - the cells of an array formula's range other than its top-left are left to the formula;
// - number format codes and font names of 128 bytes or more fall back to the default.
void SaveXlsx(const std::string& path, const std::vector<SheetToSave>& sheets);

}  // namespace corvane
