#include "engine/formula/formula_shift.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace corvane {
namespace {

struct Case {
  const char* formula;
  int32_t dRow, dCol;
  const char* want;
  bool keepsMeaning;
};

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    ShiftedFormula got = ShiftFormula(c.formula, c.dRow, c.dCol);
    EXPECT_EQ(got.text, c.want) << c.formula << " by (" << c.dRow << ", " << c.dCol << ")";
    EXPECT_EQ(got.keepsMeaning, c.keepsMeaning) << c.formula;
  }
}

TEST(ShiftFormula, CellsAndDollars) {
  Check({
      {"A1", 1, 1, "B2", true},
      {"A1+B2*C3", 1, 0, "A2+B3*C4", true},
      {"$A$1", 5, 5, "$A$1", true},
      {"$A1", 2, 3, "$A3", true},
      {"A$1", 2, 3, "D$1", true},
      {"$A$1+$A1+A$1+A1", 1, 1, "$A$1+$A2+B$1+B2", true},
      {"Z1", 0, 1, "AA1", true},
      {"AZ5", 0, 1, "BA5", true},
      {"ZZ9", 1, 1, "AAA10", true},
      {"AAA10", -1, -1, "ZZ9", true},
      {"XFC1", 0, 1, "XFD1", true},
      {"A9", 1, 0, "A10", true},
      {"A1048575", 1, 0, "A1048576", true},
      {"a1", 1, 0, "a2", true},     // a part that does not move stays as written
      {"a1", 1, 1, "B2", true},
      {"TAX2023", 1, 0, "TAX2024", true},  // column TAX, row 2023
      {"-A1%", 1, 0, "-A2%", true},
      {"A1^2&\"x\"", 0, 2, "C1^2&\"x\"", true},
      {"A1<>B1", 3, 0, "A4<>B4", true},
      {"@A1:A10", 1, 0, "@A2:A11", true},
  });
}

TEST(ShiftFormula, RangesWholeColumnsAndRows) {
  Check({
      {"SUM(A1:B2)", 2, 1, "SUM(B3:C4)", true},
      {"$A$1:B2", 1, 1, "$A$1:C3", true},
      {"A$1:$B2", 1, 1, "B$1:$B3", true},
      {"B2:A1", 1, 0, "B3:A2", true},  // kept in the order written
      {"A:C", 5, 1, "B:D", true},
      {"$A:$A", 5, 1, "$A:$A", true},
      {"A:$C", 0, 2, "C:$C", true},
      {"SUM(Y:Z)", 0, 1, "SUM(Z:AA)", true},
      {"A:A", -5, 0, "A:A", true},  // rows do not touch whole columns
      {"1:3", 2, 5, "3:5", true},
      {"$1:$1", 2, 5, "$1:$1", true},
      {"SUM(5:5)", -1, 0, "SUM(4:4)", true},
      {"9:$10", 1, 0, "10:$10", true},
      {"1:1", 0, -5, "1:1", true},  // columns do not touch whole rows
      {"A1:B2:C3", 1, 0, "A2:B3:C4", true},
      {"A1:INDEX(B:B,3)", 1, 1, "B2:INDEX(C:C,3)", true},
  });
}

TEST(ShiftFormula, OffTheSheetBecomesRefError) {
  Check({
      // pushed off row 1 / column A
      {"A1", -1, 0, "#REF!", true},
      {"A1", 0, -1, "#REF!", true},
      {"B5+A1", 0, -1, "A5+#REF!", true},
      {"SUM(A1:B2)", -1, 0, "SUM(#REF!)", true},
      {"SUM(A2:B3)", -1, 0, "SUM(A1:B2)", true},
      {"SUM(B1:A5)", 0, -1, "SUM(#REF!)", true},
      {"A:A", 0, -1, "#REF!", true},
      {"1:2", -1, 0, "#REF!", true},
      {"$A$1+A1", -1, 0, "$A$1+#REF!", true},
      // pushed past the last row / column
      {"A1048576", 1, 0, "#REF!", true},
      {"XFD1", 0, 1, "#REF!", true},
      {"A1:B1048576", 1, 0, "#REF!", true},
      {"XFD:XFD", 0, 1, "#REF!", true},
      {"1048576:1048576", 1, 0, "#REF!", true},
      {"A1", INT32_MAX, 0, "#REF!", true},
      {"A1", 0, INT32_MIN, "#REF!", true},
      // absolute parts never move, however far
      {"$A1", 0, -5, "$A1", true},
      {"A$1", -5, 0, "A$1", true},
      {"$XFD$1048576", INT32_MAX, INT32_MAX, "$XFD$1048576", true},
      // the sheet prefix stays
      {"Sheet2!A1", -1, 0, "Sheet2!#REF!", false},
      {"'Q 1'!A1:B2", 0, -1, "'Q 1'!#REF!", false},
      {"[1]Sheet1!A1", -1, 0, "[1]Sheet1!#REF!", false},
      {"SUM(Sheet1:Sheet3!XFD1)", 0, 1, "SUM(Sheet1:Sheet3!#REF!)", false},
      // the spill operator goes with its reference
      {"SUM(A1#)", -1, 0, "SUM(#REF!)", true},
  });
}

TEST(ShiftFormula, StringLiteralsAreUntouched) {
  Check({
      {"\"A1\"&A1", 1, 0, "\"A1\"&A2", true},
      {"\"say \"\"B2\"\" now\"&B2", 0, 1, "\"say \"\"B2\"\" now\"&C2", true},
      {"IF(A1=\"\",\"\",\"x\")", 1, 0, "IF(A2=\"\",\"\",\"x\")", true},
      {"INDIRECT(\"Sheet2!A1:B2\")", 1, 1, "INDIRECT(\"Sheet2!A1:B2\")", true},
      {"\"it's 'Q1'!A1\"&C3", 1, 0, "\"it's 'Q1'!A1\"&C4", true},
      {"\"Table1[x] Name #REF!\"", 1, 1, "\"Table1[x] Name #REF!\"", true},
      {"\"A1", 1, 1, "\"A1", true},  // unterminated: left alone
  });
}

TEST(ShiftFormula, QuotedAndUnicodeSheetNames) {
  Check({
      {"'My ''Sheet'''!A1", 1, 0, "'My ''Sheet'''!A2", false},
      {"'It''s!A1'!B2", 1, 1, "'It''s!A1'!C3", false},
      {"'Q 1'!A1:B2", 1, 1, "'Q 1'!B2:C3", false},
      {"'Q 1'!$A$1", 1, 1, "'Q 1'!$A$1", false},
      {"'Données 2024'!B3", 1, 0, "'Données 2024'!B4", false},
      {"Données!B3+A1", 1, 0, "Données!B4+A2", false},
      {"'日本'!A1", 0, 1, "'日本'!B1", false},
      {"Übersicht!C:C", 0, 1, "Übersicht!D:D", false},
      {"Sheet2!A1", 1, 0, "Sheet2!A2", false},
      {"Tax1!A1", 1, 0, "Tax1!A2", false},  // sheet whose name looks like a cell
      {"2024!A1", 1, 0, "2024!A2", false},
      {"My.Sheet!A1", 1, 0, "My.Sheet!A2", false},
      {"Sheet2!5:5", 1, 0, "Sheet2!6:6", false},
      {"Sheet2!A1:Sheet2!B2", 1, 0, "Sheet2!A2:Sheet2!B3", false},
  });
}

TEST(ShiftFormula, ExternalAndThreeDimensionalRefs) {
  Check({
      {"[1]Sheet1!A1", 1, 0, "[1]Sheet1!A2", false},
      {"'[Book.xlsx]S'!A1", 0, 1, "'[Book.xlsx]S'!B1", false},
      {"[Book.xlsx]Sheet1!$A$1:B2", 1, 1, "[Book.xlsx]Sheet1!$A$1:C3", false},
      {"'C:\\dir\\[B''s.xlsx]Q 1'!A1", 1, 0, "'C:\\dir\\[B''s.xlsx]Q 1'!A2", false},
      {"[0]!Name", 1, 1, "[0]!Name", false},
      {"[1]!Rate*A1", 1, 0, "[1]!Rate*A2", false},
      {"[2]Sheet1:Sheet3!A1", 1, 0, "[2]Sheet1:Sheet3!A2", false},
      {"SUM(Sheet1:Sheet3!A1)", 1, 0, "SUM(Sheet1:Sheet3!A2)", false},
      {"SUM(Jan:Dec!B2:B5)", 1, 0, "SUM(Jan:Dec!B3:B6)", false},  // Jan:Dec looks like columns
      {"SUM(Tax1:Tax4!A1)", 0, 1, "SUM(Tax1:Tax4!B1)", false},    // ... and like cells
      {"SUM('Q1:Q4'!A1:A3)", 2, 0, "SUM('Q1:Q4'!A3:A5)", false},
  });
}

TEST(ShiftFormula, FunctionsLiteralsAndErrors) {
  Check({
      {"LOG10(A1)", 1, 0, "LOG10(A2)", true},
      {"ATAN2(A1,B1)", 0, 1, "ATAN2(B1,C1)", true},
      {"DAYS360(A1,B1)", 1, 0, "DAYS360(A2,B2)", true},
      {"_xlfn.XLOOKUP(A1,B1:B5,C1:C5)", 1, 0, "_xlfn.XLOOKUP(A2,B2:B6,C2:C6)", true},
      {"_xlws.FILTER(A1:A9,B1:B9>0)", 1, 0, "_xlws.FILTER(A2:A10,B2:B10>0)", true},
      {"_xlfn._xlws.SORT(A1:A5)", 0, 1, "_xlfn._xlws.SORT(B1:B5)", true},
      {"_xlfn.LET(_xlpm.x,A1,_xlpm.x*2)", 1, 0, "_xlfn.LET(_xlpm.x,A2,_xlpm.x*2)", true},
      {"TRUE+false+A1", 1, 0, "TRUE+false+A2", true},
      {"IF(TRUE(),A1,FALSE())", 1, 0, "IF(TRUE(),A2,FALSE())", true},
      {"#REF!+A1", 1, 0, "#REF!+A2", true},
      {"IFERROR(A1,#N/A)", 1, 0, "IFERROR(A2,#N/A)", true},
      {"{#DIV/0!}+#NAME?+#NULL!+#NUM!+#VALUE!", 1, 1, "{#DIV/0!}+#NAME?+#NULL!+#NUM!+#VALUE!", true},
      {"IF(#GETTING_DATA,#SPILL!,#CALC!)", 1, 1, "IF(#GETTING_DATA,#SPILL!,#CALC!)", true},
      {"ISNA(#N/A)*A1", 0, 1, "ISNA(#N/A)*B1", true},
      {"IF(A1,#FUTURE!)", 1, 0, "IF(A2,#FUTURE!)", true},  // an error kind newer than ours
      {"Sheet2!#REF!", 1, 1, "Sheet2!#REF!", false},
  });
}

TEST(ShiftFormula, NumbersAreNotReferences) {
  Check({
      {"1E+5*A1", 1, 0, "1E+5*A2", true},
      {"1.5E-3+E5", 1, 0, "1.5E-3+E6", true},  // E5 after an operator is a cell
      {"2.*B1", 0, 1, "2.*C1", true},
      {"1E5", 3, 3, "1E5", true},
      {"3e10-A1", 1, 0, "3e10-A2", true},
      {".5+A1", 1, 0, ".5+A2", true},
      {"100%*A1", 1, 0, "100%*A2", true},
      {"2.E5/D4", 1, 0, "2.E5/D5", true},
  });
}

TEST(ShiftFormula, NamesAndStructuredRefs) {
  Check({
      {"SalesTotal*2", 1, 1, "SalesTotal*2", false},
      {"SalesTotal*A1", 1, 1, "SalesTotal*B2", false},
      {"_xlnm._FilterDatabase", 1, 1, "_xlnm._FilterDatabase", false},
      {"A1B+1", 1, 1, "A1B+1", false},
      {"XFE1", 1, 1, "XFE1", false},
      {"R1C1", 1, 1, "R1C1", false},
      {"ABCD1", 1, 1, "ABCD1", false},
      {"A1048577", 1, 1, "A1048577", false},
      {"A0", 1, 1, "A0", false},
      {"A1.x", 1, 1, "A1.x", false},
      {"\\Rate", 1, 1, "\\Rate", false},
      {"Table1[Col]", 1, 1, "Table1[Col]", false},
      {"SUM(Table1[[#This Row],[A]])", 1, 1, "SUM(Table1[[#This Row],[A]])", false},
      {"[@Col]*2+A1", 1, 0, "[@Col]*2+A2", false},
      {"[@[Unit Price]]*B2", 1, 0, "[@[Unit Price]]*B3", false},
      {"T1[A1]+A1", 1, 0, "T1[A1]+A2", false},  // bracket content is not a cell
      {"Table1[[#Headers],[Col']x]]+A1", 1, 0, "Table1[[#Headers],[Col']x]]+A2", false},
      {"Table1[Col'[x]+A1", 1, 0, "Table1[Col'[x]+A2", false},  // '[ is an escaped bracket
      {"Sheet2!Rate", 1, 1, "Sheet2!Rate", false},
  });
}

TEST(ShiftFormula, ArraysSpillIntersectionAndWhitespace) {
  Check({
      {"{1,2;3,4}", 1, 1, "{1,2;3,4}", true},
      {"SUM({1,2;3,4}*A1:B2)", 1, 0, "SUM({1,2;3,4}*A2:B3)", true},
      {"{\"A1}\",2}+B1", 1, 0, "{\"A1}\",2}+B2", true},
      {"{TRUE,\"x\";#N/A,-1.5E-3}", 1, 1, "{TRUE,\"x\";#N/A,-1.5E-3}", true},
      {"A1#", 1, 1, "B2#", true},
      {"SUM($A$1#)", 1, 1, "SUM($A$1#)", true},
      {"COUNTA(Sheet2!B3#)", 1, 0, "COUNTA(Sheet2!B4#)", false},
      {"A1:B5 B2:C3", 1, 0, "A2:B6 B3:C4", true},
      {"SUM(A:A 3:3)", 1, 1, "SUM(B:B 4:4)", true},
      {"SUM((A1,C1) B1:D1)", 0, 1, "SUM((B1,D1) C1:E1)", true},
      {"SUM(\n  A1,\tB1 )", 1, 0, "SUM(\n  A2,\tB2 )", true},
      {"  A1  ", 1, 0, "  A2  ", true},
      {"", 1, 1, "", true},
  });
}

// Everything above, run through the two properties a shift must have.
const char* const kCorpus[] = {
    "A1+B2*C3", "$A$1+$A1+A$1+A1", "ZZ9", "TAX2023", "-A1%", "@A1:A10", "SUM(A1:B2)",
    "A$1:$B2", "A:$C", "SUM(Y:Z)", "9:$10", "A1:INDEX(B:B,3)", "SUM(B1:A5)", "XFD:XFD",
    "1048576:1048576", "$XFD$1048576", "\"say \"\"B2\"\" now\"&B2", "INDIRECT(\"Sheet2!A1:B2\")",
    "'My ''Sheet'''!A1", "'It''s!A1'!B2", "'Données 2024'!B3", "Données!B3+A1", "'日本'!A1",
    "Übersicht!C:C", "Tax1!A1", "Sheet2!5:5", "Sheet2!A1:Sheet2!B2", "[1]Sheet1!A1",
    "'[Book.xlsx]S'!A1", "[Book.xlsx]Sheet1!$A$1:B2", "[0]!Name", "[2]Sheet1:Sheet3!A1",
    "SUM(Jan:Dec!B2:B5)", "SUM(Tax1:Tax4!A1)", "SUM('Q1:Q4'!A1:A3)", "LOG10(A1)",
    "_xlfn.XLOOKUP(A1,B1:B5,C1:C5)", "_xlfn.LET(_xlpm.x,A1,_xlpm.x*2)", "TRUE+false+A1",
    "IFERROR(A1,#N/A)", "IF(#GETTING_DATA,#SPILL!,#CALC!)", "Sheet2!#REF!", "1.5E-3+E5",
    "2.E5/D4", "SalesTotal*A1", "_xlnm._FilterDatabase", "A1B+1", "XFE1", "R1C1",
    "A1048577", "Table1[[#Headers],[Col']x]]+A1", "Table1[Col'[x]+A1", "[@[Unit Price]]*B2", "T1[A1]+A1",
    "{\"A1}\",2}+B1", "COUNTA(Sheet2!B3#)", "SUM(A:A 3:3)", "SUM((A1,C1) B1:D1)",
    "SUM(\n  A1,\tB1 )", "A1048576+XFD1", "SUM(A1:XFD1048576)", "",
};

size_t CountRefErrors(const std::string& s) {
  size_t n = 0;
  for (size_t p = s.find("#REF!"); p != std::string::npos; p = s.find("#REF!", p + 1)) ++n;
  return n;
}

TEST(ShiftFormula, ZeroOffsetGivesTheTextBack) {
  for (const char* f : kCorpus) EXPECT_EQ(ShiftFormula(f, 0, 0).text, f);
}

TEST(ShiftFormula, ShiftingBackUndoesAShiftThatStayedOnTheSheet) {
  const std::pair<int32_t, int32_t> offsets[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {3, 2},
                                                 {-2, 5}, {1000, 700}, {1048575, 16383}};
  int checked = 0;
  for (const char* f : kCorpus) {
    const bool keeps = ShiftFormula(f, 0, 0).keepsMeaning;
    const size_t refErrors = CountRefErrors(f);
    for (auto [dr, dc] : offsets) {
      ShiftedFormula there = ShiftFormula(f, dr, dc);
      EXPECT_EQ(there.keepsMeaning, keeps) << f;
      if (CountRefErrors(there.text) != refErrors) continue;  // something fell off
      ShiftedFormula back = ShiftFormula(there.text, -dr, -dc);
      EXPECT_EQ(back.text, f) << f << " via " << there.text;
      EXPECT_EQ(back.keepsMeaning, keeps) << f;
      ++checked;
    }
  }
  EXPECT_GT(checked, 250);  // most of the corpus survives most offsets
}


// References to sheets that went into a new workbook under another name, their cells moved.
TEST(ShiftFormula, ReferencesFollowMovedSheets) {
  const MovedSheet data{"Data (2)", -2, -1}, plain{"Plain", 0, 0};
  MovedSheetLookup find = [&](std::string_view name) -> const MovedSheet* {
    if (name == "Data" || name == "My data") return &data;
    if (name == "It's") return &plain;
    return nullptr;
  };
  struct MovedCase {
    const char* in;
    const char* out;  // nullptr: the meaning is lost
  } cases[] = {
      {"Data!B3+A1", "'Data (2)'!A1+B2"},                // the sheet's move, not the formula's
      {"SUM('My data'!$B$3:C4)", "SUM('Data (2)'!$A$1:B2)"},
      {"Data!B:C+Data!3:4", "'Data (2)'!A:B+'Data (2)'!1:2"},
      {"'It''s'!A1&\"Data!B3\"", "Plain!A1&\"Data!B3\""},  // a string is no reference
      {"Data!A1", nullptr},                               // pushed off the sheet by its move
      {"Other!A1", nullptr},
      {"Data!Name", nullptr},
      {"Data:Other!A1", nullptr},
      {"'[1]Data'!A1", nullptr},
      {"Table1[Col]+Data!B3", nullptr},
  };
  for (const MovedCase& c : cases) {
    ShiftedFormula got = ShiftFormulaToMovedSheets(c.in, 1, 1, find);
    EXPECT_EQ(got.keepsMeaning, c.out != nullptr) << c.in << " -> " << got.text;
    if (c.out) {
      EXPECT_EQ(got.text, c.out) << c.in;
    }
  }
  // Without sheets to follow it is ShiftFormula.
  for (const char* f : kCorpus) {
    ShiftedFormula a = ShiftFormula(f, 3, 2), b = ShiftFormulaToMovedSheets(f, 3, 2, [](std::string_view) { return nullptr; });
    EXPECT_EQ(a.text, b.text) << f;
    EXPECT_EQ(a.keepsMeaning, b.keepsMeaning) << f;
  }
}

TEST(ShiftFormula, ReachOfOtherColumnsOfABlock) {
  struct ReachCase {
    const char* formula;
    bool moved;
    bool reaches;
  } cases[] = {
      {"B2*2", false, false},      {"B2*2", true, false},       {"SUM(B:B)", true, false},   {"$B2", false, false},
      {"$B2", true, true},         {"A2+B2", false, true},      {"SUM(A2:C2)", false, true}, {"SUM(2:2)", false, true},
      {"Other!A2+B2", false, false}, {"Z9+B1", false, false},  // beyond the block's columns
      {"\"A1\"&B1", false, false},
  };
  for (const ReachCase& c : cases)  // in column B of a block of columns A..C
    EXPECT_EQ(ReachesOtherColumns(c.formula, 1, 0, 2, c.moved), c.reaches) << c.formula << (c.moved ? " moved" : "");
  EXPECT_FALSE(ReachesOtherColumns("SUM(2:2)", 1, 1, 1, true));  // a block of one column
}

}  // namespace
}  // namespace corvane
