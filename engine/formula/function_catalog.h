// Excel's worksheet functions: their numbers in binary workbooks, their names in formula
// text and how many arguments a call may pass. One table for every reader and check.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

struct FunctionSpec {
  uint16_t id;       // number in .xls/.xlsb formulas; kNoFunctionId for those called by name
  const char* name;  // upper case, without prefix
  uint8_t minArgs, maxArgs;
  bool prefixed = false;  // written "_xlfn.NAME" in .xlsx formulas (added after Excel 2007)
};

inline constexpr uint16_t kNoFunctionId = 0xFFFF;

// A built-in function by its number in .xls (0-379) and .xlsb (0-484) formulas; nullptr for
// numbers of macro-sheet commands and unknown ones.
const FunctionSpec* BuiltinFunction(uint16_t id);

// A function as an .xlsx formula calls it: built-in ones bare ("SUM"), newer ones with the
// _xlfn. prefix ("_xlfn.CONCAT", "_xlfn._xlws.FILTER"), without regard to case. nullptr for
// a name the spreadsheet does not know, or one written without the prefix it needs.
const FunctionSpec* FunctionByFormulaName(std::string_view name);

// True when the bare, upper-case `name` is a function .xlsx formulas write with _xlfn.
bool IsPrefixedFunction(std::string_view name);

// The most arguments a call may pass in an .xlsx formula: the binary tables' 30 for
// functions of any number of arguments is 255 there.
inline int MaxArgs(const FunctionSpec& f) { return f.maxArgs == 30 ? 255 : f.maxArgs; }

}  // namespace corvane
