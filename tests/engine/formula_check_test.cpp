// The function catalogue and the check of formula text against the spreadsheet's grammar.
#include <gtest/gtest.h>

#include "engine/formula/formula_check.h"
#include "engine/formula/function_catalog.h"

namespace corvane {
namespace {

TEST(FunctionCatalog, NumbersNamesPrefixesAndCounts) {
  ASSERT_NE(BuiltinFunction(27), nullptr);
  EXPECT_STREQ(BuiltinFunction(27)->name, "ROUND");
  EXPECT_EQ(BuiltinFunction(27)->minArgs, 2);
  EXPECT_EQ(BuiltinFunction(53), nullptr);  // a macro-sheet command's number
  EXPECT_EQ(BuiltinFunction(485), nullptr);
  // 92 is the chart's SERIES (not SERIESSUM, an add-in's function then, 414 now): no cell
  // formula calls it.
  ASSERT_NE(BuiltinFunction(92), nullptr);
  EXPECT_STREQ(BuiltinFunction(92)->name, "SERIES");
  EXPECT_FALSE(BuiltinFunction(92)->inCells);
  EXPECT_EQ(FunctionByFormulaName("SERIES"), nullptr);
  EXPECT_STREQ(BuiltinFunction(414)->name, "SERIESSUM");
  // OpenFormula's names where they differ.
  EXPECT_STREQ(FunctionByOdsName("B")->name, "BINOM.DIST.RANGE");
  EXPECT_STREQ(FunctionByOdsName("FORMULA")->name, "FORMULATEXT");
  EXPECT_EQ(FunctionByOdsName("SUM"), nullptr);
  struct Case {
    const char* name;
    int min, max;  // -1: unknown, or written wrongly
  };
  const Case cases[] = {
      {"SUM", 1, 255},         {"sum", 1, 255},  // sum-params = (ref / val), *29(ref / val)          {"IFERROR", 2, 2},       {"NETWORKDAYS.INTL", 2, 4},
      {"_xlfn.CONCAT", 1, 255}, {"_xlfn.concat", 1, 255}, {"CONCAT", -1, -1},      {"_xlfn.SUM", -1, -1},
      {"_xlfn._xlws.FILTER", 2, 3}, {"_xlfn.FLOOR.MATH", 1, 3}, {"_xlfn.BETA.DIST", 4, 6}, {"FLOOR", 2, 2},
      {"MYMACRO", -1, -1},     {"JIS", 1, 1},
  };
  for (const Case& c : cases) {
    const FunctionSpec* f = FunctionByFormulaName(c.name);
    if (c.min < 0) {
      EXPECT_EQ(f, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_EQ(f->minArgs, c.min) << c.name;
    EXPECT_EQ(MaxArgs(*f), c.max) << c.name;
  }
  EXPECT_TRUE(IsPrefixedFunction("CHISQ.DIST"));
  EXPECT_FALSE(IsPrefixedFunction("CHIDIST"));
}

TEST(FormulaCheck, WhatTheGrammarTakesAndWhatItDoesNot) {
  struct Case {
    const char* formula;
    const char* problem;  // "" when it parses; else a part of the description
  };
  const Case cases[] = {
      {"SUM(A1:B2,3)", ""},
      {"IF($A9=\"\",\"\",B9)", ""},
      {"IF(A1,,)", ""},
      {"{1,2;3,4}*2", ""},
      {"{-1,\"a\";TRUE,#N/A}", ""},
      {"SUM((A1,B2))", ""},
      {"A1:B2 B1:C3", ""},
      {"'My sheet'!A1+Sheet2!B2", ""},
      {"_xlfn.IFS(A1>1,1,TRUE,0)", ""},
      {"_xlfn._xlws.SORT(A1:A3)", ""},
      {"Table1[[#This Row],[Col]]*2", ""},
      {"A1#", ""},
      {"@A1:A3", ""},
      {"NOW()", ""},
      {"\"a\"\"b\"", ""},
      {"IF(A1)", "IF called with 1 argument"},
      {"IF(A1,1,2,3)", "IF called with 4 arguments"},
      {"ROUND(A1)", "ROUND called with 1 argument"},
      {"NOW(1)", "NOW called with 1 argument"},
      {"CONCAT(A1,B1)", "unknown function CONCAT"},
      {"MYMACRO(1)", "unknown function MYMACRO"},
      {"SUM(A1", "'(' is not closed"},
      {"A1)", "')' closes nothing"},
      {"{2,3}*{4;5", "inline array is not closed"},
      {"{1,2;3}", "not rectangular"},
      {"{1;2,3}", "not rectangular"},
      {"{A1,2}", "inline array holds a reference"},
      {"{1,{2}}", "inline array inside another"},
      {"{SUM(1)}", "inline array holds a function call"},
      {"\"open", "string is not closed"},
      {"\"a\"\"", "string is not closed"},
      {"'Sheet!A1", "quoted sheet name is not closed"},
      {"SUM(A1;B1)", "';' outside an inline array"},
      {"A1|B1", "unexpected character '|'"},
      {"()", "empty parentheses"},
      {"", "no formula"},
      {"  ", "no formula"},
  };
  for (const Case& c : cases) {
    std::string why = FormulaSyntaxProblem(c.formula);
    if (*c.problem == '\0') EXPECT_EQ(why, "") << c.formula;
    else EXPECT_NE(why.find(c.problem), std::string::npos) << c.formula << " -> " << why;
  }
  // A file's own text may call functions newer than the catalogue.
  EXPECT_NE(FormulaSyntaxProblem("_xlfn.NEWFUNCTION(1)"), "");
  EXPECT_EQ(FormulaSyntaxProblem("_xlfn.NEWFUNCTION(1)", true), "");
  EXPECT_NE(FormulaSyntaxProblem("NEWFUNCTION(1)", true), "");
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "(";
  EXPECT_EQ(FormulaSyntaxProblem(deep + "1"), "nested too deep");
}

}  // namespace
}  // namespace corvane
