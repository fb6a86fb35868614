// Whether formula text is one the spreadsheet accepts in a workbook: the grammar of its A1
// formulas as far as a reader can get it wrong. Used to check what the readers make of
// formulas before a user meets them.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Empty when `formula` (no leading '=') has balanced parentheses and braces, closed strings,
// quoted names and brackets, rectangular inline arrays of constants, no character the
// grammar has no place for, and calls only functions the spreadsheet knows, each with an
// argument count it allows. Otherwise what is wrong first, in a few words.
// With `trustPrefixed`, a function with the _xlfn. prefix that the catalogue does not list
// passes (with any argument count): newer than the catalogue, as a file's own text may be.
std::string FormulaSyntaxProblem(std::string_view formula, bool trustPrefixed = false);

}  // namespace corvane
