// The number formats a workbook names by id alone (0-58), without storing their codes.
#pragma once

#include <string_view>

namespace corvane {

// The code of a built-in number format by id; "General" for ids that have none.
// Ids 27-36 and 50-58 differ by locale in Excel; they get the Japanese codes.
std::string_view BuiltinNumFmt(int id);

// The built-in id whose code is `code`, or -1: what a writer stores for a format a reader
// expanded from its id, so that the spreadsheet still shows it in its locale's way (a short
// date stays the user's short date). Currency and East Asian ids are never given: a custom
// code that reads like one would change its symbol or calendar with the locale.
int BuiltinNumFmtId(std::string_view code);

}  // namespace corvane
