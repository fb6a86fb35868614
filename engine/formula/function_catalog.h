// Excel's worksheet functions: their numbers in binary workbooks, their names in formula
// text and in OpenFormula, and how many arguments a call may pass. One table for every
// reader and check.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

struct FunctionSpec {
  uint16_t id;       // number in .xls/.xlsb formulas; kNoFunctionId for those called by name
  const char* name;  // upper case, without prefix
  uint8_t minArgs, maxArgs;
  bool prefixed = false;         // written "_xlfn.NAME" in .xlsx formulas (added after Excel 2007)
  const char* odsName = nullptr;  // OpenFormula's name where it is another ("B" for BINOM.DIST.RANGE)
  bool inCells = true;           // false for the chart's SERIES: no cell formula may call it
};

inline constexpr uint16_t kNoFunctionId = 0xFFFF;

// A built-in function by its number in .xls (0-379) and .xlsb (0-484) formulas, as the
// function tables of the binary formats ([MS-XLS] Ftab, [MS-XLSB] Ftab) number them; nullptr
// for numbers of macro-sheet commands and unknown ones. SERIES (92) is listed but not
// `inCells`.
const FunctionSpec* BuiltinFunction(uint16_t id);

// A function as an .xlsx formula calls it: built-in ones bare ("SUM"), newer ones with the
// _xlfn. prefix ("_xlfn.CONCAT", "_xlfn._xlws.FILTER"), without regard to case. nullptr for
// a name the spreadsheet does not know in a cell, or one written without the prefix it needs.
const FunctionSpec* FunctionByFormulaName(std::string_view name);

// The function OpenFormula calls by the upper-case `name` where the spreadsheet calls it
// otherwise ("B", "FORMULA", "ORG.LIBREOFFICE.FORECAST.ETS.ADD"); nullptr for other names.
const FunctionSpec* FunctionByOdsName(std::string_view name);

// True when the bare, upper-case `name` is a function .xlsx formulas write with _xlfn.
bool IsPrefixedFunction(std::string_view name);

// The most arguments a call may pass in an .xlsx formula: the binary tables' 30 for
// functions of any number of arguments is 255 there.
inline int MaxArgs(const FunctionSpec& f) { return f.maxArgs == 30 ? 255 : f.maxArgs; }

// Whether a call of `f` may pass `args` arguments in an .xlsx formula.
inline bool TakesArgs(const FunctionSpec& f, size_t args) {
  return args >= f.minArgs && args <= static_cast<size_t>(MaxArgs(f));
}

}  // namespace corvane
