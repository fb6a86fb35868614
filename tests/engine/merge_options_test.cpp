// The merge options: header rows, columns matched by header, the source column, one sheet
// per entry, and widths and heights carried, on workbooks made here and on the corpus, read
// back with openpyxl; and at their defaults, every cell exactly as a plain copy and paste.
#include <gtest/gtest.h>

#include <set>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/core/cellref.h"
#include "engine/merge/merge.h"
#include "engine/merge/sheet_names.h"
#include "lists/path_functions.h"
#include "tests/engine/merge_support.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

using Options = test::MergeFixture;
using test::Block;

// A cell of a sheet XML body: text when `v` starts with a quote ("'Amount"), a formula when it
// starts with '=', a number otherwise.
std::string C(const std::string& ref, const std::string& v) {
  if (v.empty()) return "";
  if (v[0] == '\'') return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">" + v.substr(1) + "</t></is></c>";
  if (v[0] == '=') return "<c r=\"" + ref + "\"><f>" + v.substr(1) + "</f><v>0</v></c>";
  return "<c r=\"" + ref + "\"><v>" + v + "</v></c>";
}

// A sheet from rows of cell texts (as C takes them), from A1; `before` goes ahead of sheetData.
std::string Sheet(const std::vector<std::vector<std::string>>& rows, const std::string& before = "") {
  std::string x = before + "<sheetData>";
  for (size_t r = 0; r < rows.size(); ++r) {
    x += "<row r=\"" + std::to_string(r + 1) + "\">";
    for (size_t c = 0; c < rows[r].size(); ++c) x += C(ColumnName(static_cast<int32_t>(c)) + std::to_string(r + 1), rows[r][c]);
    x += "</row>";
  }
  return x + "</sheetData>";
}

// The first sheet's rows as openpyxl reads them, "|"-joined cells, for rows 1..n and columns A..cols.
std::vector<std::string> Rows(std::map<std::string, std::string>& cells, int n, int cols) {
  std::vector<std::string> out;
  for (int r = 1; r <= n; ++r) {
    std::string line;
    for (int c = 0; c < cols; ++c) line += (c ? "|" : "") + cells[ColumnName(c) + std::to_string(r)];
    out.push_back(line);
  }
  return out;
}

TEST_F(Options, HeaderRowsAreKeptOnceAndABlockOfHeadersOnlyTakesNoRoom) {
  std::string a = book("a.xlsx", {{"S", Sheet({{"'Title"}, {"'Name", "'Qty"}, {"'x", "1"}})},
                                  {"Short", Sheet({{"'Title"}, {"'Name", "'Qty"}})},
                                  {"T", Sheet({{"'Title"}, {"'Name", "'Qty"}, {"'y", "2"}, {"'z", "3"}})},
                                  {"W", Sheet({{"'Title"}, {"'Name", "'Qty", "'Extra"}, {"'y", "2", "9"}})}});
  options.headerRows = 2;
  gapText = "1";
  for (const char* s : {"S", "Short", "T"}) queue(a, s);
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  auto cells = result();
  // The short sheet is all headers: nothing of it, not even its gap.
  EXPECT_EQ(Rows(cells, 7, 2), (std::vector<std::string>{"Title|", "Name|Qty", "x|1", "|", "y|2", "z|3", "|"}));

  // Matching with a first block shorter than its header rows: no header row to match
  // against, so the blocks are placed as they are.
  options.matchHeaders = true;
  lists.merges.Clear();
  std::string b = book("b.xlsx", {{"One", Sheet({{"'Qty", "'Name"}})}});
  queue(b, "One");
  queue(a, "T");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  cells = result();
  EXPECT_EQ(Rows(cells, 4, 2), (std::vector<std::string>{"Qty|Name", "|", "y|2", "z|3"}));
  options.matchHeaders = false;

  // Side by side the first N columns are left out: T is two columns wide and takes no room,
  // W keeps its third.
  lists.merges.Clear();
  for (const char* s : {"S", "T", "W"}) queue(a, s);
  ASSERT_EQ(merge(1), MergeOutcome::Succeeded);
  cells = result();
  EXPECT_EQ(Rows(cells, 4, 5), (std::vector<std::string>{"Title||||", "Name|Qty||Extra|", "x|1||9|", "||||"}));
}

TEST_F(Options, ColumnsAreMatchedByTheirHeader) {
  std::string jan = book("jan.xlsx", {{"Data", Sheet({{"'Name", "'Amount", "", "'Region"}, {"'a", "1", "'n1", "'North"}})}});
  // Reordered, with a header in another case and with spaces around it, one missing, a new one,
  // a blank header that keeps its place, and a header of Latin letters outside ASCII.
  std::string feb = book("feb.xlsx", {{"Data", Sheet({{"'  AMOUNT ", "'name", "", "'Ärger", "'Extra"},
                                                      {"2", "'b", "'n2", "'x", "'e"}})}});
  std::string mar = book("mar.xlsx", {{"Data", Sheet({{"'Region", "'ärger", "'Name"}, {"'South", "'y", "'c"}})}});
  for (const std::string& p : {jan, feb, mar}) queue(p, "Data");
  options.headerRows = 1;
  options.matchHeaders = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  auto cells = result();
  EXPECT_EQ(Rows(cells, 4, 6), (std::vector<std::string>{"Name|Amount||Region|Ärger|Extra", "a|1|n1|North||",
                                                          "b|2|n2||x|e", "c|||South|y|"}));
}

TEST_F(Options, RepeatedHeadersMatchInTurnAndBlankHeadersGiveWayToMatchedColumns) {
  std::string a = book("a.xlsx", {{"S", Sheet({{"'Qty", "'Qty", "'Name"}, {"1", "2", "'a"}})},
                                  // the second "Qty" goes under the second; the blank-headed
                                  // column's place A is taken by "Name" here, so it goes right
                                  {"T", Sheet({{"", "'Qty", "'Name", "'Qty"}, {"'blank", "3", "'b", "4"}})}});
  queue(a, "S");
  queue(a, "T");
  options.headerRows = 1;
  options.matchHeaders = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  auto cells = result();
  EXPECT_EQ(Rows(cells, 3, 4), (std::vector<std::string>{"Qty|Qty|Name|", "1|2|a|", "3|4|b|blank"}));
}

// In a block whose columns moved, a formula that reaches another of its block's columns is
// pasted as its value and counted; one on its own column moves with it.
TEST_F(Options, FormulasInMovedColumnsKeepTheirMeaningOrBecomeValues) {
  std::string a = book("a.xlsx", {{"S", Sheet({{"'A", "'B", "'Sum"}, {"1", "2", "=A2+B2"}})}});
  std::string b = book("b.xlsx", {{"S", "<sheetData><row r=\"1\">" + C("A1", "'B") + C("B1", "'Sum") + C("C1", "'A") +
                                            "</row><row r=\"2\">" + C("A2", "5") +
                                            "<c r=\"B2\"><f>A2+C2</f><v>11</v></c>" + C("C2", "6") +
                                            "</row><row r=\"3\"><c r=\"A3\"><f>A2*2</f><v>10</v></c>"
                                            "<c r=\"B3\"><f>SUM(2:2)</f><v>22</v></c><c r=\"C3\"><f>$C$2</f><v>6</v></c></row></sheetData>"}});
  queue(a, "S");
  queue(b, "S");
  options.headerRows = 1;
  options.matchHeaders = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  // B2's formula reaches columns A and C, B3's a whole row, C3's names its own column
  // absolutely, which moved: three values. A3 refers only to its own column: it moves along.
  EXPECT_EQ(keeper.shown->Workbooks().Item(1).FormulasPastedAsValues(), 3);
  auto cells = result();
  EXPECT_EQ(Rows(cells, 4, 3), (std::vector<std::string>{"A|B|Sum", "1|2|=A2+B2", "6|5|11", "6|=B3*2|22"}));

  // Blocks whose columns all stay where they are paste formulas as always.
  lists.merges.Clear();
  queue(a, "S");
  queue(a, "S");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_EQ(keeper.shown->Workbooks().Item(1).FormulasPastedAsValues(), 0);
  EXPECT_EQ(result()["C3"], "=A3+B3");
}

TEST_F(Options, TheSourceColumnNamesFileAndSheetOnEveryRow) {
  std::string a = book("sales-2024-03.xlsx", {{"Data", Sheet({{"'Name", "'Qty"}, {"'a", "1"}, {}, {"'c", "3"}})}});
  std::string b = book("other.xlsx", {{"Ünïcode", Sheet({{"'Qty", "'Name"}, {"2", "'b"}})}});
  queue(a, "Data");
  queue(b, "Ünïcode");
  options.headerRows = 1;
  options.matchHeaders = true;
  options.sourceColumn = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  auto cells = result("sheets.py");
  std::vector<std::string> got;
  for (int r = 1; r <= 6; ++r)
    got.push_back(cells["Sheet1!A" + std::to_string(r)] + "|" + cells["Sheet1!B" + std::to_string(r)] + "|" +
                  cells["Sheet1!C" + std::to_string(r)]);
  EXPECT_EQ(got, (std::vector<std::string>{"Source|Name|Qty", "sales-2024-03.xlsx / Data|a|1", "sales-2024-03.xlsx / Data||",
                                           "sales-2024-03.xlsx / Data|c|3", "other.xlsx / Ünïcode|b|2", "||"}));
  // Wide enough for its longest text.
  EXPECT_EQ(cells["Sheet1!width:A"], "26");
}

// Vertical: the widest width of each column, each block's own row heights; side by side each
// block's own widths and the tallest row. A column or row is hidden only where every block
// that holds it hides it. Without the option nothing is sized.
TEST_F(Options, WidthsAndHeightsComeAlong) {
  std::string a = book("a.xlsx", {{"S", "<cols><col min=\"1\" max=\"1\" width=\"20\" customWidth=\"1\"/>"
                                        "<col min=\"2\" max=\"2\" width=\"5\" customWidth=\"1\" hidden=\"1\"/>"
                                        "<col min=\"3\" max=\"3\" width=\"3\" customWidth=\"1\"/></cols>"
                                        "<sheetData><row r=\"1\" ht=\"30\" customHeight=\"1\">" + C("A1", "1") + C("C1", "3") +
                                        "</row><row r=\"2\" hidden=\"1\">" + C("A2", "4") + "</row></sheetData>"}});
  std::string b = book("b.xlsx", {{"S", "<cols><col min=\"1\" max=\"1\" width=\"12\" customWidth=\"1\"/>"
                                        "<col min=\"2\" max=\"2\" width=\"40\" customWidth=\"1\" hidden=\"1\"/></cols>"
                                        "<sheetData><row r=\"1\" ht=\"10\" customHeight=\"1\">" + C("A1", "5") + C("B1", "6") +
                                        C("C1", "7") + "</row></sheetData>"}});
  queue(a, "S");
  queue(b, "S");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  auto v = result("sheets.py");
  EXPECT_EQ(v["Sheet1!width:A"], "20");
  EXPECT_EQ(v["Sheet1!width:B"], "40 hidden");  // the widest, hidden in both
  EXPECT_EQ(v.count("Sheet1!width:C"), 0u);     // 3 is narrower than b's default width
  EXPECT_EQ(v["Sheet1!height:1"], "30");
  EXPECT_EQ(v["Sheet1!height:2"], "default hidden");
  EXPECT_EQ(v["Sheet1!height:3"], "10");

  ASSERT_EQ(merge(1), MergeOutcome::Succeeded);
  v = result("sheets.py");
  EXPECT_EQ(v["Sheet1!width:A"], "20");
  EXPECT_EQ(v["Sheet1!width:B"], "5 hidden");
  EXPECT_EQ(v["Sheet1!width:C"], "3");
  EXPECT_EQ(v["Sheet1!width:D"], "12");
  EXPECT_EQ(v["Sheet1!width:E"], "40 hidden");
  EXPECT_EQ(v["Sheet1!height:1"], "30");              // the tallest
  EXPECT_EQ(v["Sheet1!height:2"], "default hidden");  // only a reaches row 2

  options.sizes = false;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  for (auto& [key, value] : result("sheets.py"))
    EXPECT_TRUE(key.find("width:") == std::string::npos && key.find("height:") == std::string::npos) << key;
}

TEST_F(Options, OneSheetPerEntryNamedAfterItsSource) {
  auto repeat = [](const std::string& piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
  };
  const std::string longName = "Quarterly revenue by region 24";  // 30 characters
  const std::string limit = "Ä" + repeat("ä", 29) + "1";          // 31 characters, 61 bytes
  std::string a = book("a.xlsx", {{"Data", Sheet({{"1"}})}, {longName, Sheet({{"2"}})}, {limit, Sheet({{"3"}})}});
  std::string b = book("b.xlsx", {{"DATA", Sheet({{"4"}})}, {longName, Sheet({{"5"}})}, {limit, Sheet({{"6"}})},
                                  {"History", Sheet({{"7"}})}});
  queue(a, "Data");
  queue(b, "DATA");
  queue(a, "Data");
  queue(a, longName);
  queue(b, longName);
  queue(a, limit);
  queue(b, limit);
  queue(b, "History");
  options.sheetPerEntry = true;
  gapText = "3";  // does not apply
  ASSERT_EQ(merge(1), MergeOutcome::Succeeded);
  auto v = result("sheets.py");
  EXPECT_EQ(v["SHEETS"], "Data|DATA (2)|Data (3)|" + longName + "|Quarterly revenue by region (2)|" + limit + "|Ä" +
                             repeat("ä", 26) + " (2)|History (2)");
  EXPECT_EQ(v["Data!A1"], "1");
  EXPECT_EQ(v["DATA (2)!A1"], "4");
  EXPECT_EQ(v["History (2)!A1"], "7");
}

TEST_F(Options, SheetNamesASpreadsheetRefusesAreMadeAcceptable) {
  SheetNamer namer;
  struct Case {
    std::string source, name;
  } cases[] = {
      {"a/b:c*d?[e]\\", "a_b_c_d__e__"}, {"'quoted'", "_quoted_"}, {"", "Sheet"}, {"Sheet", "Sheet (2)"},
      {"x" + std::string(40, 'y'), "x" + std::string(30, 'y')}, {"x" + std::string(40, 'y'), "x" + std::string(26, 'y') + " (2)"},
      {"\xF0\x9F\x93\x8A" + std::string(30, 'z'), "\xF0\x9F\x93\x8A" + std::string(29, 'z')},  // a chart emoji takes two
  };
  for (auto& c : cases) EXPECT_EQ(namer.Next(c.source), c.name) << c.source;
}

// A formula that refers to another merged sheet keeps referring to it under its new name,
// following its cells; one that refers to a sheet left out is pasted as its value.
TEST_F(Options, CrossSheetFormulasFollowMergedSheets) {
  std::string a = book("a.xlsx", {{"Data", Block(3, 2, 4, 3)},  // B3:C4: moves up 2 rows and left 1 column
                                  {"Calc", "<sheetData><row r=\"1\"><c r=\"A1\"><f>SUM(Data!B3:C4)+Data!$B$3</f><v>0</v></c>"
                                           "<c r=\"B1\"><f>Other!A1</f><v>42</v></c><c r=\"C1\"><f>'Data'!B3*2</f><v>0</v></c>"
                                           "</row></sheetData>"},
                                  {"Other", Block(1, 1, 1, 1)}});
  std::string b = book("b.xlsx", {{"Data", Block(1, 1, 1, 1)}});
  queue(b, "Data");
  queue(a, "Calc");
  queue(a, "Data");
  options.sheetPerEntry = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_EQ(keeper.shown->Workbooks().Item(1).FormulasPastedAsValues(), 1);
  auto v = result("sheets.py");
  EXPECT_EQ(v["SHEETS"], "Data|Calc|Data (2)");
  EXPECT_EQ(v["Calc!A1"], "=SUM('Data (2)'!A1:B2)+'Data (2)'!$A$1");
  EXPECT_EQ(v["Calc!B1"], "42");
  EXPECT_EQ(v["Calc!C1"], "='Data (2)'!A1*2");
  EXPECT_EQ(v["Data (2)!A1"], "302");
}

TEST_F(Options, CorpusSheetsEachOnTheirOwnWithTheirLookupsIntact) {
  std::string xls = (test::Corpus() / "xls/poi_27349-vlookupAcrossSheets.xls").string();
  fingerprints[xls] = test::ReadAll(xls);
  queue(xls, "TEST");
  queue(xls, "DATA TABLE");
  options.sheetPerEntry = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_EQ(keeper.shown->Workbooks().Item(1).FormulasPastedAsValues(), 0);
  auto v = result("sheets.py");
  EXPECT_EQ(v["SHEETS"], "TEST|DATA TABLE");
  // The table's used range starts at A7: on its own sheet it starts at A1, and so does the lookup.
  EXPECT_EQ(v["TEST!A2"], "=VLOOKUP(1, 'DATA TABLE'!$A$2:'DATA TABLE'!$B$4, 2)");
  EXPECT_EQ(v["DATA TABLE!A1"], "Key");

  // A sheet that is not there fails the run with its description, as a vertical merge does.
  queue(xls, "Gone");
  rec.shown.clear();
  ASSERT_EQ(merge(0), MergeOutcome::Failed);
  ASSERT_EQ(rec.shown.size(), 2u);
  EXPECT_NE(rec.shown[0].first.find("\"Gone\""), std::string::npos);
}

// A corpus sheet with a header row and formulas merged twice as a report: one header, the
// second copy's formulas moved with its rows and past the source column, every row named.
TEST_F(Options, CorpusReportStacksUnderOneHeader) {
  std::string xlsx = (test::Corpus() / "xlsx/poi_shared_formulas.xlsx").string();
  fingerprints[xlsx] = test::ReadAll(xlsx);
  queue(xlsx, "Label");
  queue(xlsx, "Label");
  options.headerRows = 1;
  options.matchHeaders = true;
  options.sourceColumn = true;
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_EQ(keeper.shown->Workbooks().Item(1).FormulasPastedAsValues(), 0);
  auto cells = result();
  EXPECT_EQ(cells["A1"], "Source");
  EXPECT_EQ(cells["B1"], "Currently Using");
  EXPECT_EQ(cells["B2"], "=C2");
  EXPECT_EQ(cells["A42"], "poi_shared_formulas.xlsx / Label");
  EXPECT_EQ(cells["B42"], "=C42");
  EXPECT_EQ(cells["C42"], cells["C2"]);
  EXPECT_EQ(cells["A81"], "poi_shared_formulas.xlsx / Label");
  EXPECT_EQ(cells.count("A82"), 0u);
}

// What the cells of a sheet hold, position by position, in a form two sheets can be compared in.
std::vector<std::string> Dump(Worksheet& ws) {
  const SheetData& d = ws.data();
  const auto styles = ws.Parent().Styles();
  std::vector<std::string> out;
  for (const Cell& c : d.cells) {
    std::string line = FormatA1(static_cast<int32_t>(c.row), c.col) + " " + std::to_string(static_cast<int>(c.type)) + " " +
                       std::to_string(c.num) + " " + std::to_string(c.sub);
    if (c.type == CellType::String) line += " " + std::string(d.str(c));
    if (c.type == CellType::Formula) line += " " + d.formulas[c.aux].text + " " + d.formulas[c.aux].cachedString;
    const Style& st = styles->styles.at(c.style);
    line += " " + st.numFmt + " " + st.fontName + " " + std::to_string(StyleHash{}(st));
    out.push_back(line);
  }
  for (const Rect& m : d.merges) out.push_back("merge " + FormatRange(m));
  for (const Hyperlink& l : d.links) out.push_back("link " + FormatA1(l.row, l.col) + " " + l.target + l.location);
  for (const Comment& c : d.comments) out.push_back("comment " + FormatA1(c.row, c.col) + " " + c.text);
  out.push_back("used " + FormatRange(d.used));
  return out;
}

// With every option at its default a merge's cells are those of copying each used range and
// pasting it below (beside) the one before, as merges always did: workbooks of every format.
TEST_F(Options, DefaultsLeaveEveryCellAsAPlainCopyAndPaste) {
  const auto sheets = test::CorpusSheets();
  std::map<std::string, int> perFormat;
  int compared = 0;
  for (const auto& [file, list] : sheets) {
    std::string format = file.substr(0, file.find('/'));
    if (format == "broken" || perFormat[format] >= 8) continue;
    std::string path = (test::Corpus() / file).string();
    std::vector<std::string> names;
    for (const auto& s : list)
      if (s.type == "worksheet") names.push_back(s.name);
    if (names.empty()) continue;
    for (int mode : {0, 1}) {
      SCOPED_TRACE(file + (mode ? " horizontal" : " vertical"));
      // The reference: the object model's copy and paste, block after block.
      auto app = Application::Create();
      std::vector<std::string> expected;
      try {
        Workbook& src = app->Workbooks().Open(path);
        Workbook& out = app->Workbooks().Add();
        Worksheet& dest = out.Worksheets()(1);
        int32_t next = 1;
        for (const std::string& name : names) {
          Range used = src.Worksheets()(name).UsedRange();
          Rect r = used.rect();
          src.Worksheets()(name).Range(FormatA1(r.r1, r.c1), FormatA1(r.r2, r.c2)).Copy();
          (mode == 0 ? dest.Cells(next, 1) : dest.Cells(1, next)).PasteSpecial();
          next += mode == 0 ? r.rows() : r.cols();
        }
        expected = Dump(dest);
      } catch (const AutomationError&) {
        app->Quit();
        continue;  // a block past the sheet's edge, a protected file: no merge to compare
      }
      app->Quit();
      lists.merges.Clear();
      for (const std::string& name : names) queue(path, name);
      ASSERT_EQ(merge(mode), MergeOutcome::Succeeded);
      EXPECT_EQ(Dump(keeper.shown->Workbooks().Item(1).Worksheets()(1)), expected);
      ++compared;
    }
    ++perFormat[format];
  }
  EXPECT_GE(compared, 40);
}

}  // namespace
}  // namespace corvane
