// The pieces of A1 formula text, as a spreadsheet stores it in a workbook: what a reader
// of the text needs to tell a reference from a name, a string from a sheet name, a
// function from a defined name. One pass, no allocation: every token is a slice of the
// text, references with the row and column parts they are made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane {

// One row or one column part of a reference: text[b, e), '$' included.
struct RefPart {
  size_t b = 0, e = 0;
  bool abs = false;
  bool isRow = false;
  int32_t v = 0;  // 0-based
};

// A cell (2 parts), a cell range (4), or a whole-column / whole-row range (2).
struct FormulaRef {
  RefPart parts[4];
  int count = 0;
  size_t end = 0;
};

enum class FormulaTok : uint8_t {
  String,       // "..." with doubled quotes inside
  QuotedSheet,  // 'Sheet name'! (or '[Book.xlsx]Sheet'!)
  Bracketed,    // [...]: a workbook index or a structured reference
  Error,        // an error literal: #REF!, #N/A...
  Ref,          // A1, $A$1:B2, A:C, 1:3
  Number,       // 1, 1.5, .5, 1E+3
  SheetPrefix,  // Sheet1! or 2024!
  Function,     // a name directly followed by '(' (the '(' is the next token)
  Table,        // Table1[Col]
  Name,         // a defined name, TRUE, FALSE, _xlpm.x
  Char,         // any other single character: operators, ( ) , ; { } @ # white space...
};

struct FormulaToken {
  FormulaTok kind = FormulaTok::Char;
  size_t begin = 0, end = 0;
  bool closed = true;  // String, QuotedSheet, Bracketed: the closing quote or bracket is there
  FormulaRef ref;      // Ref
};

// The token that starts at `at` (< text.size()).
FormulaToken NextFormulaToken(std::string_view text, size_t at);

// Past the number constant that starts at `at` (a digit, or '.' before one): digits, a
// decimal point with digits, an exponent. OpenFormula writes numbers the same way.
size_t FormulaNumberEnd(std::string_view text, size_t at);

}  // namespace corvane
