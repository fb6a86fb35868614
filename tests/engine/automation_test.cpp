// The object model: reading hand-made workbooks, copy and paste, lifetimes and failures.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/writing/xlsx_saver.h"
#include "tests/engine/merge_support.h"

namespace corvane {
namespace {

struct Fixture : ::testing::Test {
  test::TempDir tmp;
  std::shared_ptr<Application> app = Application::Create();
  void TearDown() override {
    app->Quit();
    app.reset();
    EXPECT_EQ(Application::AliveCount(), 0);
  }
  std::string book(const std::string& name, const std::vector<std::pair<std::string, std::string>>& sheets,
                   const std::string& sst = "", const std::string& styles = "", const std::string& pr = "") {
    auto p = tmp / name;
    test::WriteWorkbook(p, sheets, sst, styles, pr);
    return p.string();
  }
  // Copies the used range of `ws` and pastes it at (row, col) of a fresh one-sheet workbook.
  Worksheet& pasteInto(Worksheet& ws, int32_t row, int32_t col) {
    Workbook& out = app->Workbooks().Add();
    for (int k = out.Sheets().Count(); k >= 2; --k) out.Sheets()(k).Delete();
    Range used = ws.UsedRange();
    ws.Range(used.Cells(1, 1).Address(), used.Cells(used.Rows().Count(), used.Columns().Count()).Address()).Copy();
    out.Worksheets()(1).Cells(row, col).PasteSpecial();
    return out.Worksheets()(1);
  }
};

using Reading = Fixture;

TEST_F(Reading, CellKindsAndTheirValues) {
  std::string p = book("kinds.xlsx",
                       {{"Data",
                         "<sheetData><row r=\"2\">"
                         "<c r=\"B2\"><v>1.5</v></c>"
                         "<c r=\"C2\" t=\"s\"><v>1</v></c>"
                         "<c r=\"D2\" t=\"inlineStr\"><is><t>in</t><r><t>line</t></r></is></c>"
                         "<c r=\"E2\" t=\"b\"><v>1</v></c>"
                         "<c r=\"F2\" t=\"e\"><v>#DIV/0!</v></c>"
                         "<c r=\"G2\" t=\"str\"><f>C2&amp;\"!\"</f><v>two!</v></c>"
                         "<c r=\"H2\" t=\"d\"><v>2024-02-29T12:00:00</v></c>"
                         "</row></sheetData>"}},
                       "<si><t>one</t></si><si><r><t>t</t></r><r><t>wo</t></r><rPh><t>x</t></rPh></si>");
  Workbook& wb = app->Workbooks().Open(p);
  Worksheet& ws = wb.Worksheets()("Data");
  const SheetData& d = ws.data();
  ASSERT_EQ(d.cells.size(), 7u);
  EXPECT_EQ(ws.UsedRange().Address(), "$B$2:$H$2");
  EXPECT_EQ(d.find(1, 1)->num, 1.5);
  EXPECT_EQ(d.str(*d.find(1, 2)), "two");  // rich runs flattened, phonetic text left out
  EXPECT_EQ(d.str(*d.find(1, 3)), "inline");
  EXPECT_EQ(d.find(1, 4)->type, CellType::Bool);
  EXPECT_EQ(static_cast<ErrorCode>(d.find(1, 5)->sub), ErrorCode::Div0);
  const Cell* g = d.find(1, 6);
  ASSERT_EQ(g->type, CellType::Formula);
  EXPECT_EQ(d.formulas[g->aux].text, "C2&\"!\"");
  EXPECT_EQ(d.formulas[g->aux].cachedString, "two!");
  EXPECT_DOUBLE_EQ(d.find(1, 7)->num, 45351.5);
}

TEST_F(Reading, RowsAndCellsWithoutPositionsFollowTheirNeighbours) {
  std::string p = book("pos.xlsx", {{"S", "<sheetData><row><c><v>1</v></c><c><v>2</v></c></row>"
                                          "<row><c r=\"C2\"><v>3</v></c><c><v>4</v></c></row></sheetData>"}});
  Worksheet& ws = app->Workbooks().Open(p).Worksheets()(1);
  const SheetData& d = ws.data();
  ASSERT_NE(d.find(0, 1), nullptr);
  EXPECT_EQ(d.find(1, 3)->num, 4);
  EXPECT_EQ(ws.UsedRange().Address(), "$A$1:$D$2");
}

TEST_F(Reading, SharedFormulasGiveEveryCellItsOwnText) {
  std::string p = book("shared.xlsx", {{"S", "<sheetData>"
                                             "<row r=\"1\"><c r=\"B1\"><f t=\"shared\" ref=\"B1:C3\" si=\"0\">A1*$A$1+A$1</f><v>0</v></c>"
                                             "<c r=\"C1\"><f t=\"shared\" si=\"0\"/><v>0</v></c></row>"
                                             "<row r=\"3\"><c r=\"C3\"><f t=\"shared\" si=\"0\"/><v>0</v></c></row>"
                                             "</sheetData>"}});
  const SheetData& d = app->Workbooks().Open(p).Worksheets()(1).data();
  EXPECT_EQ(d.formulas[d.find(0, 2)->aux].text, "B1*$A$1+B$1");
  EXPECT_EQ(d.formulas[d.find(2, 2)->aux].text, "B3*$A$1+B$1");
}

TEST_F(Reading, FormatOnlyCellsCountInTheUsedRangeButDefaultOnesDoNot) {
  std::string styles =
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
      "<borders count=\"1\"><border/></borders>"
      "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellXfs>";
  std::string p = book("fmt.xlsx", {{"S", "<dimension ref=\"A1:Z99\"/><sheetData><row r=\"3\"><c r=\"B3\"><v>7</v></c>"
                                          "<c r=\"E3\" s=\"0\"/></row><row r=\"6\"><c r=\"D6\" s=\"1\"/></row></sheetData>"}},
                       "", styles);
  Worksheet& ws = app->Workbooks().Open(p).Worksheets()(1);
  EXPECT_EQ(ws.UsedRange().Address(), "$B$3:$D$6");
  // An empty sheet uses A1.
  EXPECT_EQ(app->Workbooks().Open(book("empty.xlsx", {{"S", "<sheetData/>"}})).Worksheets()(1).UsedRange().Address(), "$A$1");
}

// A missing sheet names the sheet and the file; a missing file names the file; damaged sheet
// XML fails only when the sheet is used (the sheet list alone is sound).
TEST_F(Reading, FailuresNameWhatFailed) {
  Workbook& wb = app->Workbooks().Open(book("one.xlsx", {{"Alpha", "<sheetData/>"}}));
  std::string d = test::FailureOf<AutomationError>([&] { wb.Worksheets()("Beta"); });
  EXPECT_NE(d.find("has no worksheet named \"Beta\""), std::string::npos) << d;
  EXPECT_NE(d.find("one.xlsx"), std::string::npos) << d;
  d = test::FailureOf<AutomationError>([&] { app->Workbooks().Open((tmp / "nothing.xlsx").string()); });
  EXPECT_NE(d.find("nothing.xlsx"), std::string::npos) << d;

  Workbook& bad = app->Workbooks().Open(book("bad.xlsx", {{"S", "<sheetData><row><c r=\"A1\"><v>1</v></row></sheetData>"}}));
  EXPECT_EQ(bad.Worksheets().Count(), 1);
  EXPECT_THROW(bad.Worksheets()(1).UsedRange(), AutomationError);
}

using Pasting = Fixture;

TEST_F(Pasting, BlockLandsAtTheTargetWithFormulasMoved) {
  std::string p = book("src.xlsx", {{"S", "<sheetData><row r=\"5\"><c r=\"C5\"><v>1</v></c><c r=\"D5\"><f>C5*2</f><v>2</v></c>"
                                          "<c r=\"E5\"><f>$C$5+C$5+$C5</f><v>3</v></c></row>"
                                          "<row r=\"9\"><c r=\"E9\"><f>A1</f><v>0</v></c></row></sheetData>"}});
  Worksheet& src = app->Workbooks().Open(p).Worksheets()(1);
  Worksheet& dst = pasteInto(src, 1, 1);
  const SheetData& d = dst.data();
  EXPECT_EQ(dst.UsedRange().Address(), "$A$1:$C$5");
  EXPECT_EQ(d.find(0, 0)->num, 1);
  EXPECT_EQ(d.formulas[d.find(0, 1)->aux].text, "A1*2");
  EXPECT_EQ(d.formulas[d.find(0, 2)->aux].text, "$C$5+A$5+$C1");
  EXPECT_EQ(d.formulas[d.find(4, 2)->aux].text, "#REF!");
  EXPECT_EQ(dst.LastPasteFormulasAsValues(), 0);
}

TEST_F(Pasting, FormulasThatCannotKeepTheirMeaningArePastedAsValuesAndCounted) {
  std::string p = book("src.xlsx", {{"S", "<sheetData><row r=\"1\">"
                                          "<c r=\"A1\"><f>Other!A1</f><v>4</v></c>"
                                          "<c r=\"B1\" t=\"str\"><f>[1]Book!A1</f><v>far</v></c>"
                                          "<c r=\"C1\" t=\"e\"><f>Rate*2</f><v>#NAME?</v></c>"
                                          "<c r=\"D1\"><f>SUM(A1:C1)</f><v>4</v></c>"
                                          "</row></sheetData>"},
                                    {"Other", "<sheetData/>"}});
  Worksheet& dst = pasteInto(app->Workbooks().Open(p).Worksheets()(1), 1, 1);
  const SheetData& d = dst.data();
  EXPECT_EQ(dst.LastPasteFormulasAsValues(), 3);
  EXPECT_EQ(d.find(0, 0)->type, CellType::Number);
  EXPECT_EQ(d.str(*d.find(0, 1)), "far");
  EXPECT_EQ(static_cast<ErrorCode>(d.find(0, 2)->sub), ErrorCode::Name);
  EXPECT_EQ(d.find(0, 3)->type, CellType::Formula);
  EXPECT_EQ(dst.Parent().FormulasPastedAsValues(), 3);
}

TEST_F(Pasting, PastingOverCellsReplacesThem) {
  std::string p = book("src.xlsx", {{"S", "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"C1\"><v>3</v></c></row></sheetData>"}});
  Worksheet& src = app->Workbooks().Open(p).Worksheets()(1);
  Worksheet& dst = pasteInto(src, 1, 1);
  src.Range("B1", "C1").Copy();
  dst.Cells(1, 1).PasteSpecial();  // an empty B1 lands on A1, clearing it
  const SheetData& d = dst.data();
  EXPECT_EQ(d.find(0, 0), nullptr);
  EXPECT_EQ(d.find(0, 1)->num, 3);
  EXPECT_EQ(d.find(0, 2)->num, 3);
}

TEST_F(Pasting, NothingCopiedOrCopyCancelledFails) {
  Workbook& out = app->Workbooks().Add();
  EXPECT_THROW(out.Worksheets()(1).Cells(1, 1).PasteSpecial(), AutomationError);
  std::string p = book("src.xlsx", {{"S", "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"}});
  app->Workbooks().Open(p).Worksheets()(1).Range("A1", "A1").Copy();
  EXPECT_TRUE(app->CutCopyMode());
  app->SetCutCopyMode(false);
  EXPECT_THROW(out.Worksheets()(1).Cells(1, 1).PasteSpecial(), AutomationError);
}

TEST_F(Pasting, AddressesRoundTripThroughRange) {
  Workbook& out = app->Workbooks().Add();
  Worksheet& ws = out.Worksheets()(1);
  EXPECT_EQ(ws.Cells(5, 3).Address(), "$C$5");
  EXPECT_EQ(ws.Range("$C$5", "E9").Cells(5, 3).Address(), "$E$9");
  EXPECT_EQ(ws.Range("C5", "E9").Rows().Count(), 5);
  EXPECT_EQ(ws.Range("C5", "E9").Columns().Count(), 3);
  EXPECT_THROW(ws.Cells(0, 1), AutomationError);
  EXPECT_THROW(ws.Cells(1, 16385), AutomationError);
  EXPECT_THROW(ws.Range("nonsense", "A1"), AutomationError);
}

using Lifetime = Fixture;

TEST_F(Lifetime, NewWorkbookHasDefaultSheetsThatCanBeDeletedDownToOne) {
  Workbook& wb = app->Workbooks().Add();
  EXPECT_EQ(wb.Name().rfind("Book", 0), 0u);
  ASSERT_EQ(wb.Sheets().Count(), 3);
  for (int k = wb.Sheets().Count(); k >= 2; --k) wb.Sheets()(k).Delete();
  EXPECT_EQ(wb.Sheets().Count(), 1);
  EXPECT_EQ(wb.Worksheets()(1).Name(), "Sheet1");
  EXPECT_THROW(wb.Sheets()(1).Delete(), AutomationError);
}

TEST_F(Lifetime, QuitReleasesTheApplicationAndLaterCallsFail) {
  auto other = Application::Create();
  EXPECT_EQ(Application::AliveCount(), 2);
  Workbook& wb = other->Workbooks().Add();
  other->Quit();
  EXPECT_EQ(Application::AliveCount(), 1);
  EXPECT_THROW(other->Workbooks(), AutomationError);
  EXPECT_THROW(wb.Worksheets().Count(), AutomationError);
}

TEST_F(Lifetime, ApplicationsReleasedWithoutQuitAreNotCounted) {
  { auto a = Application::Create(); a->Workbooks().Add(); }
  EXPECT_EQ(Application::AliveCount(), 1);
}

TEST_F(Lifetime, ClosingWithSaveChangesNeverWritesASource) {
  std::string p = book("src.xlsx", {{"A", "<sheetData/>"}, {"B", "<sheetData/>"}});
  std::string before = test::ReadAll(p);
  auto stamp = std::filesystem::last_write_time(p);
  Workbook& wb = app->Workbooks().Open(p);
  wb.Worksheets()(1).UsedRange();
  wb.Close(true);
  EXPECT_EQ(test::ReadAll(p), before);
  EXPECT_EQ(std::filesystem::last_write_time(p), stamp);
  // A changed source is refused rather than rewritten.
  Workbook& again = app->Workbooks().Open(p);
  again.Sheets()(2).Delete();
  EXPECT_THROW(again.Close(true), AutomationError);
  EXPECT_EQ(test::ReadAll(p), before);
}

TEST_F(Lifetime, VisibleApplicationIsHandedToThePresenter) {
  test::Keeper keep;
  Application::SetPresenter(&keep);
  auto a = Application::Create();
  a->Workbooks().Add();
  a->SetVisible(true);
  Application::SetPresenter(nullptr);
  a.reset();
  ASSERT_TRUE(keep.shown);
  EXPECT_TRUE(keep.shown->Visible());
  EXPECT_EQ(Application::AliveCount(), 2);
  keep.shown->Quit();
}

TEST_F(Lifetime, SaveAsNamesTheWorkbookAndAFailedSaveSaysWhere) {
  Workbook& wb = app->Workbooks().Add();
  auto out = tmp / "merged.xlsx";
  wb.SaveAs(out.string());
  EXPECT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(wb.Name(), "merged.xlsx");
  const std::string d = test::FailureOf<AutomationError>([&] { wb.SaveAs((tmp / "no/such/folder/x.xlsx").string()); });
  EXPECT_NE(d.find("x.xlsx"), std::string::npos) << d;
}

// Saving goes through the saver the program installed: another one receives the sheets in tab
// order, and without one a save fails with a description and leaves the workbook unsaved.
TEST_F(Lifetime, SaveAsGoesThroughTheInstalledSaver) {
  struct Recorder : WorkbookSaver {
    mutable std::string path;
    mutable std::vector<std::string> names;
    void Save(const std::string& p, const std::vector<SheetToSave>& sheets) const override {
      path = p;
      for (const SheetToSave& s : sheets) names.push_back(s.name);
    }
  } recorder;
  Workbook& wb = app->Workbooks().Add();
  wb.Sheets()(2).Delete();
  wb.Worksheets()(1).Cells(1, 1).Select();
  Application::SetSaver(&recorder);
  wb.SaveAs("/nowhere/a.xlsx");
  EXPECT_EQ(recorder.path, "/nowhere/a.xlsx");
  EXPECT_EQ(recorder.names, (std::vector<std::string>{"Sheet1", "Sheet3"}));
  EXPECT_EQ(wb.Name(), "a.xlsx");

  Application::SetSaver(nullptr);
  Workbook& other = app->Workbooks().Add();
  const std::string name = other.Name();
  auto out = tmp / "never.xlsx";
  const std::string d = test::FailureOf<AutomationError>([&] { other.SaveAs(out.string()); });
  EXPECT_NE(d.find("without a workbook writer"), std::string::npos) << d;
  Application::SetSaver(&XlsxSaver());
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(other.Name(), name);
}

}  // namespace
}  // namespace corvane
