// OpenFormula's functions as the spreadsheet's: same name where the meaning is the same,
// another function (or the same one with its defaults written out) where OpenFormula's
// argument list or meaning differs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The A1 text of the call `name(args)`: `name` as the OpenFormula text writes it ("IF",
// "LEGACY.FDIST", "COM.MICROSOFT.CONCAT"), each argument already as A1 text ("" for an
// omitted one). `oldNames` for documents of OpenOffice.org 1 and 2, whose FDIST and FINV
// are the spreadsheet's. False when the spreadsheet has no call of the same meaning, or
// none with this many arguments.
bool ConvertOdsCall(std::string_view name, bool oldNames, std::vector<std::string>& args, std::string& out);

}  // namespace corvane
