// The one writer of A1 formula text: sheet names quoted by the spreadsheet's rule, prefixes
// of 3-D references and other workbooks, areas of whole rows and columns.
#include <gtest/gtest.h>

#include "engine/formula/formula_text.h"

namespace corvane {
namespace {

TEST(FormulaText, SheetNamesAreQuotedByTheSpreadsheetsRule) {
  struct Case {
    const char* name;
    const char* written;
  };
  const Case cases[] = {
      // Plain words, in any script that has letters.
      {"Sheet1", "Sheet1"}, {"Data_2", "Data_2"}, {"_x", "_x"}, {"v1.2", "v1.2"}, {"Revenue", "Revenue"},
      {"Übersicht", "Übersicht"}, {"日本語", "日本語"}, {"Данные", "Данные"}, {"Ελλάδα", "Ελλάδα"},
      {"データ", "データ"},
      // Reserved words read as booleans.
      {"TRUE", "'TRUE'"}, {"false", "'false'"}, {"TRUEX", "TRUEX"},
      // Names a formula would read as a cell: A1 inside the sheet, or the start of R1C1.
      {"A1", "'A1'"}, {"s2", "'s2'"}, {"COL1", "'COL1'"}, {"XFD1048576", "'XFD1048576'"},
      {"R1C1", "'R1C1'"}, {"R", "'R'"}, {"c", "'c'"}, {"RC", "'RC'"}, {"R2D2", "'R2D2'"}, {"C3PO", "'C3PO'"},
      {"rc12x", "'rc12x'"},
      // Past the last row or column, or no number: a plain name to the spreadsheet.
      {"ABC1234567", "ABC1234567"}, {"XFE1", "XFE1"}, {"Cost1", "Cost1"}, {"R0", "R0"},
      {"R1048577", "R1048577"}, {"C99999999", "C99999999"}, {"C16385", "'C16385'"},
      // A first character that is a digit or a period.
      {"2024", "'2024'"}, {"1st", "'1st'"}, {".hidden", "'.hidden'"}, {"１２", "'１２'"},
      // Spaces, quotes, punctuation and symbols of any script.
      {"My sheet", "'My sheet'"}, {"O'Brien", "'O''Brien'"}, {"a-b", "'a-b'"}, {"a(1)", "'a(1)'"},
      {"Umsatz€", "'Umsatz€'"}, {"x\u2013y", "'x\u2013y'"}, {"a\u00A0b", "'a\u00A0b'"}, {"Plan\U0001F4CA", "'Plan\U0001F4CA'"},
      {"", "''"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendSheetName(out, c.name);
    EXPECT_EQ(out, c.written) << c.name;
    EXPECT_EQ(SheetNameNeedsQuotes(c.name), out.front() == '\'') << c.name;
  }
}

TEST(FormulaText, PrefixesAndAreas) {
  auto prefix = [](std::string_view book, std::string_view first, std::string_view last) {
    std::string out;
    AppendSheetPrefix(out, book, first, last);
    return out;
  };
  EXPECT_EQ(prefix("", "Sheet1", ""), "Sheet1!");
  EXPECT_EQ(prefix("", "Sheet1", "Sheet3"), "Sheet1:Sheet3!");
  EXPECT_EQ(prefix("", "Sheet1", "My sheet"), "'Sheet1:My sheet'!");  // quoted as a whole
  EXPECT_EQ(prefix("", "It's", "Z"), "'It''s:Z'!");
  EXPECT_EQ(prefix("[1]", "Ext", ""), "[1]Ext!");
  EXPECT_EQ(prefix("[1]", "My sheet", ""), "'[1]My sheet'!");

  auto area = [](RefCorner a, RefCorner b, int32_t rows, int32_t cols) {
    std::string out;
    AppendAreaRef(out, a, b, rows, cols);
    return out;
  };
  EXPECT_EQ(area({0, 1, false, true}, {65535, 2, false, true}, 65536, 256), "$B:$C");     // an old sheet's height
  EXPECT_EQ(area({1, 0, false, false}, {1, 16383, false, false}, kMaxRows, kMaxCols), "2:2");
  EXPECT_EQ(area({0, 0, true, true}, {kMaxRows - 1, kMaxCols - 1, true, true}, kMaxRows, kMaxCols), "$A$1:$XFD$1048576");
  EXPECT_EQ(area({4, 0, false, false}, {9, 2, true, false}, kMaxRows, kMaxCols), "A5:C$10");

  std::string s;
  AppendFormulaString(s, "say \"hi\"");
  AppendFormulaError(s, ErrorCode::Div0);
  AppendFormulaBool(s, false);
  EXPECT_EQ(s, "\"say \"\"hi\"\"\"#DIV/0!FALSE");
}

}  // namespace
}  // namespace corvane
