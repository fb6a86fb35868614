#include "engine/merge/program_start.h"

#include "engine/automation/spreadsheet_automation.h"
#include "engine/writing/xlsx_saver.h"

namespace corvane {

void StartEngine() { Application::SetSaver(&XlsxSaver()); }

}  // namespace corvane
