// The object model's saver: new workbooks written as .xlsx by Corvane's own writer.
#pragma once

#include "engine/automation/workbook_saver.h"

namespace corvane {

// One for the whole program; SaveXlsx behind it.
const WorkbookSaver& XlsxSaver();

}  // namespace corvane
