// The engine against real workbooks that nobody here wrote.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/automation/workbook_open.h"
#include "engine/core/cellref.h"
#include "engine/formula/formula_check.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

using test::Corpus;

// Excel 2 to 4 wrote bare worksheet streams that Corvane refuses, naming the format.
bool IsBiff2To4(const std::string& rel) {
  return rel == "xls/poi_testEXCEL_4.xls" || rel == "xls/sjs_CRLFX5_2.XLS";
}

std::vector<std::string> WorksheetNames(const std::string& path) {
  auto app = Application::Create();
  Workbook& wb = app->Workbooks().Open(path);
  std::vector<std::string> names;
  for (int i = 1; i <= wb.Worksheets().Count(); ++i) names.push_back(wb.Worksheets()(i).Name());
  wb.Close();
  app->Quit();
  return names;
}

TEST(Corpus, EveryWorkbookListsItsWorksheetsInTabOrder) {
  int files = 0;
  for (auto& [rel, sheets] : test::CorpusSheets()) {
    if (IsBiff2To4(rel)) continue;
    std::vector<std::string> expected;
    for (auto& s : sheets)
      if (s.type.rfind("worksheet", 0) == 0) expected.push_back(s.name);  // "worksheet (ods table)" too
    SCOPED_TRACE(rel);
    std::vector<std::string> got;
    ASSERT_NO_THROW(got = WorksheetNames((Corpus() / rel).string()));
    EXPECT_EQ(got, expected);
    ++files;
  }
  EXPECT_GE(files, 120);  // .xlsx, .xlsm, .xls, .xlsb and .ods
  EXPECT_EQ(Application::AliveCount(), 0);
}

// Every formula a reader makes of a corpus file, whatever its format, is one the
// spreadsheet accepts: balanced, closed, rectangular, and calling known functions with
// argument counts they allow. (Formulas kept as their values are not written as formulas.)
TEST(Corpus, EveryFormulaTheReadersMakeParses) {
  std::map<std::string, int> checked;
  std::vector<std::string> problems;
  for (auto& [rel, sheets] : test::CorpusSheets()) {
    if (IsBiff2To4(rel)) continue;
    std::string format = rel.substr(0, rel.find('/'));
    auto reader = OpenWorkbookFile((Corpus() / rel).string());
    for (size_t i = 0; i < reader->sheets().size(); ++i) {
      if (reader->sheets()[i].kind != SheetKind::Worksheet) continue;
      auto d = reader->loadSheet(i);
      for (const Cell& c : d->cells) {
        if (c.type != CellType::Formula) continue;
        const Formula& f = d->formulas[c.aux];
        if (f.valueOnly) continue;
        ++checked[format];
        std::string why = FormulaSyntaxProblem(f.text);
        if (!why.empty())
          problems.push_back(rel + " " + reader->sheets()[i].name + "!" + FormatA1(static_cast<int32_t>(c.row), c.col) +
                             ": " + why + ": " + f.text);
      }
    }
  }
  for (auto& [format, n] : checked) std::cout << format << ": " << n << " formulas checked\n";
  for (size_t k = 0; k < problems.size() && k < 40; ++k) ADD_FAILURE() << problems[k];
  EXPECT_EQ(problems.size(), 0u);
  for (const char* format : {"xlsx", "xlsm", "xls", "xlsb", "ods"}) EXPECT_GT(checked[format], 0) << format;
}

TEST(Corpus, SheetNamedOneIsANameNotAnIndex) {
  auto app = Application::Create();
  Workbook& wb = app->Workbooks().Open((Corpus() / "xlsx/poi_customIndexedColors.xlsx").string());
  auto names = WorksheetNames((Corpus() / "xlsx/poi_customIndexedColors.xlsx").string());
  ASSERT_NE(std::find(names.begin(), names.end(), "1"), names.end());
  EXPECT_EQ(wb.Worksheets()(std::string("1")).Name(), "1");
  EXPECT_NE(wb.Worksheets()(1).Name(), "1");
  app->Quit();
}

TEST(Corpus, StoredDimensionIsNotTrusted) {
  auto app = Application::Create();
  Workbook& wb = app->Workbooks().Open((Corpus() / "xlsx/poi_62629_toMerge.xlsx").string());
  // The file claims GW1:WVN81; its cells lie in GW10:GY27, rows 5 to 44 have formats of their
  // own (which make them used, columns' formats do not).
  Worksheet& ws = wb.Worksheets()(1);
  Range used = ws.UsedRange();
  EXPECT_EQ(used.Cells(1, 1).Address(), "$GW$5");
  EXPECT_EQ(used.Cells(used.Rows().Count(), used.Columns().Count()).Address(), "$GY$44");
  app->Quit();
}

// Every damaged, hostile, encrypted or mislabelled file fails with a description that
// names it: no crash, no hang, no unbounded memory.
TEST(Corpus, BrokenFilesFailWithADescription) {
  int files = 0;
  for (auto& entry : std::filesystem::directory_iterator(Corpus() / "broken")) {
    std::string path = entry.path().string();
    // A sound workbook whose XML map names a remote schema: Corvane never reads maps nor
    // fetches anything, so it opens like any other.
    if (entry.path().filename() == "poi_xxe_in_schema.xlsx") continue;
    // An .xls that lured another reader into unbounded allocation: Corvane trusts no count in
    // it beyond what its records hold, and its sheets open (xls_reader_test checks the memory).
    if (entry.path().filename() == "calamine_OOM_alloc.xls") continue;
    SCOPED_TRACE(path);
    auto app = Application::Create();
    std::string description;
    try {
      Workbook& wb = app->Workbooks().Open(path);
      for (int i = 1; i <= wb.Worksheets().Count(); ++i) wb.Worksheets()(i).UsedRange();
    } catch (const AutomationError& e) {
      description = e.description();
    }
    app->Quit();
    EXPECT_NE(description.find(entry.path().filename().string()), std::string::npos) << description;
    ++files;
  }
  EXPECT_GE(files, 20);
  EXPECT_EQ(Application::AliveCount(), 0);
}

// A workbook opened from its bytes in memory (as the fuzzing harnesses open them) reads as
// the same file opened by its path, and a damaged one fails with the same description.
TEST(Corpus, EveryWorkbookReadsTheSameFromItsBytes) {
  // What the sheets of a workbook hold, in outline, or the description it fails with.
  auto outline = [](auto open) {
    std::string out;
    try {
      std::unique_ptr<WorkbookReader> reader = open();
      for (size_t i = 0; i < reader->sheets().size(); ++i) {
        out += reader->sheets()[i].name + "\n";
        if (reader->sheets()[i].kind != SheetKind::Worksheet) continue;
        auto sheet = reader->loadSheet(i);
        const Rect& u = sheet->used;
        for (int32_t v : {u.r1, u.c1, u.r2, u.c2}) out += std::to_string(v) + ",";
        out += std::to_string(sheet->cells.size()) + " cells, " + std::to_string(sheet->formulas.size()) +
               " formulas, " + std::to_string(sheet->merges.size()) + " merges\n";
      }
      out += std::to_string(reader->styles()->styles.size()) + " styles";
    } catch (const AutomationError& e) {
      out = e.description();
    }
    return out;
  };
  int files = 0;
  for (auto& entry : std::filesystem::recursive_directory_iterator(Corpus())) {
    if (!entry.is_regular_file() || entry.path().extension() == ".tsv" || entry.path().extension() == ".md") continue;
    std::string path = entry.path().string();
    SCOPED_TRACE(path);
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string fromPath = outline([&] { return OpenWorkbookFile(path); });
    EXPECT_EQ(outline([&] { return OpenWorkbookBytes(bytes, path); }), fromPath);
    ++files;
  }
  EXPECT_GE(files, 140);
}

TEST(Corpus, RemoteSchemaInAnXmlMapIsNeverFetched) {
  auto app = Application::Create();
  Workbook& wb = app->Workbooks().Open((Corpus() / "broken/poi_xxe_in_schema.xlsx").string());
  EXPECT_EQ(wb.Worksheets()(1).UsedRange().Address(), "$C$9:$E$10");
  app->Quit();
}

// Encrypted, mislabelled and foreign packages are refused with what they are.
TEST(Corpus, WrongContentIsNamed) {
  const std::pair<const char*, const char*> cases[] = {
      {"broken/excelize_encryptSHA1.xlsx", "password-protected"},
      {"broken/poi_protect_standard.xlsx", "password-protected"},
      {"broken/poi_docx_named_xlsx.xlsx", "damaged"},
      {"broken/poi_49609_backslash_names.xlsx", "backslash"},
      {"broken/gnm_bitwise_gnumeric_named_xls.xls", "gzip"},
      {"broken/calamine_too_small.xls", "not a workbook"},
  };
  for (auto [f, says] : cases) {
    auto app = Application::Create();
    const std::string d = test::FailureOf<AutomationError>([&] { app->Workbooks().Open((Corpus() / f).string()); });
    EXPECT_NE(d.find(says), std::string::npos) << f << ": " << d;
  }
}

TEST(Corpus, PasteThatReachesPastTheSheetFails) {
  for (const char* f : {"xlsx/lxw_data03.xlsx", "xlsx/poi_53105.xlsx"}) {
    SCOPED_TRACE(f);
    auto app = Application::Create();
    Workbook& src = app->Workbooks().Open((Corpus() / f).string());
    Workbook& dst = app->Workbooks().Add();
    Worksheet& ws = src.Worksheets()(1);
    Range used = ws.UsedRange();
    ws.Range(used.Cells(1, 1).Address(), used.Cells(used.Rows().Count(), used.Columns().Count()).Address()).Copy();
    // One row down and one column right of A1 no longer fits for these full-height or full-width blocks.
    EXPECT_THROW(dst.Worksheets()(1).Cells(2, 2).PasteSpecial(), AutomationError);
    app->Quit();
  }
  EXPECT_EQ(Application::AliveCount(), 0);
}

// Copy each worksheet's used range of every corpus workbook, paste it two rows down and one
// column right in a new workbook, save, and let openpyxl compare result and source.
TEST(Corpus, CopyPasteSaveReproducesEveryWorksheet) {
  test::TempDir tmp;
  std::ofstream manifest(tmp / "manifest.tsv");
  std::map<std::string, std::string> fingerprints;
  int sheets = 0;
  for (auto& [rel, list] : test::CorpusSheets()) {
    if (IsBiff2To4(rel)) continue;
    std::string src = (Corpus() / rel).string();
    fingerprints[src] = test::ReadAll(src);
    auto app = Application::Create();
    Workbook& book = app->Workbooks().Open(src);
    for (int i = 1; i <= book.Worksheets().Count(); ++i) {
      Worksheet& ws = book.Worksheets()(i);
      SCOPED_TRACE(rel + " " + ws.Name());
      Range used = ws.UsedRange();
      int32_t rows = used.Rows().Count(), cols = used.Columns().Count();
      int32_t top = used.rect().r1 + 1, left = used.rect().c1 + 1;
      int32_t dstTop = top + 2, dstLeft = left + 1;
      if (used.rect().r2 + 2 >= kMaxRows) dstTop = top;
      if (used.rect().c2 + 1 >= kMaxCols) dstLeft = left;

      Workbook& out = app->Workbooks().Add();
      for (int k = out.Sheets().Count(); k >= 2; --k) out.Sheets()(k).Delete();
      Worksheet& dst = out.Worksheets()(1);
      ws.Range(used.Cells(1, 1).Address(), used.Cells(rows, cols).Address()).Copy();
      ASSERT_NO_THROW(dst.Cells(dstTop, dstLeft).PasteSpecial());
      app->SetCutCopyMode(false);
      std::string result = (tmp / ("r" + std::to_string(sheets) + ".xlsx")).string();
      ASSERT_NO_THROW(out.SaveAs(result));
      out.Close(false);
      manifest << src << '\t' << ws.Name() << '\t' << result << '\t' << "Sheet1" << '\t' << top << '\t' << left
               << '\t' << dstTop << '\t' << dstLeft << '\t' << top + rows - 1 << '\t' << left + cols - 1 << '\n';
      ++sheets;
    }
    book.Close(true);  // with save-changes: a source that was only read is never written
    app->Quit();
  }
  manifest.close();
  EXPECT_GE(sheets, 150);
  EXPECT_EQ(Application::AliveCount(), 0);
  for (auto& [path, bytes] : fingerprints) EXPECT_EQ(test::ReadAll(path), bytes) << path << " was changed";

  int status = 0;
  std::string out = test::RunScript("check_paste.py", {(tmp / "manifest.tsv").string()}, status);
  EXPECT_EQ(status, 0) << out;
}

}  // namespace
}  // namespace corvane
