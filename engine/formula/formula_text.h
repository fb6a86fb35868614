// Writing A1 formula text as an .xlsx stores it (no leading '='): sheet names quoted by the
// spreadsheet's rule, cell references, areas, whole rows and columns, string constants and
// errors. Numbers go through AppendFormulaNumber (engine/core/number_text.h), which never
// follows the locale. The decompilers of both binary formats, the OpenFormula converter and
// the shifter write their text through these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/model.h"

namespace corvane {

// Whether a sheet name must be quoted before the '!' of a reference, as the spreadsheet
// quotes it when it writes a formula: any character but letters, digits, '_' and '.' (letters
// of other scripts count as letters; punctuation, symbols and spaces of any script do not);
// a first character that is a digit or '.'; a name that reads as a cell of the sheet in A1
// form ("A1", "XFD1048576"; "ABC1234567" lies past the last row and is a plain name) or
// starts like an R1C1 reference ("R1", "C3PO", "RC", "R2D2"); TRUE and FALSE, which read as
// booleans; and the empty name.
bool SheetNameNeedsQuotes(std::string_view name);

// `name` as a reference writes it: in apostrophes when it needs quotes, an apostrophe in it
// doubled. Without the '!'.
void AppendSheetName(std::string& out, std::string_view name);

// The prefix of a reference into another sheet, '!' included: "Sheet2!", "'My sheet'!",
// "Sheet1:Sheet3!" for a 3-D range (`last` not empty), "[1]Sheet1!" with a workbook
// (`book` such as "[1]"). The whole prefix is quoted when any sheet name in it needs it:
// "'Sheet1:My sheet'!".
void AppendSheetPrefix(std::string& out, std::string_view book, std::string_view first,
                       std::string_view last = {});

// One end of a reference: 0-based row and column, and which parts are absolute ('$').
struct RefCorner {
  int32_t row = 0, col = 0;
  bool rowAbs = false, colAbs = false;
};

// "$B" / "B" for the 0-based column; "$12" / "12" for the 0-based row.
void AppendColumnPart(std::string& out, int32_t col, bool absolute);
void AppendRowPart(std::string& out, int32_t row, bool absolute);

// "B12", "$B$12".
void AppendCellRef(std::string& out, const RefCorner& c);

// "A1:B2". An area over the whole height of a grid of `rows` by `cols` cells is the column
// range "A:B", one over its whole width the row range "1:2" (an old sheet's 65,536 rows
// become whole columns of a current one); one over both stays "A1:XFD1048576".
void AppendAreaRef(std::string& out, const RefCorner& a, const RefCorner& b, int32_t rows = kMaxRows,
                   int32_t cols = kMaxCols);

// A string constant: "say ""hi""".
void AppendFormulaString(std::string& out, std::string_view s);

// TRUE / FALSE.
void AppendFormulaBool(std::string& out, bool b);

// An error constant: #REF!, #N/A...
void AppendFormulaError(std::string& out, ErrorCode e);

}  // namespace corvane
