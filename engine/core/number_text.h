// Numbers as workbook files and formulas write them: always with a decimal point, never
// in the user's locale. The one reader of a cell's number text and the one writer of a
// number into a formula or a part of a workbook.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// A cell's number text (an .xlsx <v>, an OpenDocument office:value): XML white space
// around it, an optional sign, digits with an optional decimal point and an optional
// exponent. A value beyond the double range reads as the largest double of its sign, one
// below the smallest subnormal as zero, as spreadsheet programs read them (xlsxwriter
// writes the largest double as 1.797693134862316E+308, which rounds beyond it). False for
// anything else: empty text, inf, nan, hexadecimal, a stray character.
bool ParseNumberText(std::string_view text, double& out);

// A number constant as formula text, laid out as a spreadsheet writes it: the shortest
// digits that read back as the same double, whole numbers below 1e15 without a point,
// plain decimals from 1E-10 to below 1E+15 and the E+NN form beyond; "#NUM!" for a value
// that is not finite.
void AppendFormulaNumber(std::string& out, double v);

// The shortest text that reads back as the same double (an attribute of a workbook part).
void AppendShortestNumber(std::string& out, double v);

}  // namespace corvane
