// The .xls reader against the corpus, against xlrd and openpyxl, and against hostile bytes.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/automation/workbook_open.h"
#include "engine/core/biff_common.h"
#include "engine/core/number_format.h"
#include "engine/core/cellref.h"
#include "engine/formula/biff_formula.h"
#include "tests/engine/biff_writer.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

using test::BiffWriter;
using test::Corpus;

bool IsXls(const std::string& rel) { return rel.rfind("xls/", 0) == 0; }

// The Excel 2 to 4 files of the corpus, which are refused, and the format each names.
const std::map<std::string, std::string> kOldFormats = {{"xls/poi_testEXCEL_4.xls", "Excel 4.0 worksheet (BIFF4)"},
                                                        {"xls/sjs_CRLFX5_2.XLS", "Excel 2.x worksheet (BIFF2)"}};

std::string Describe(const std::string& path) {
  try {
    auto app = Application::Create();
    Workbook& wb = app->Workbooks().Open(path);
    for (int i = 1; i <= wb.Worksheets().Count(); ++i) wb.Worksheets()(i).UsedRange();
    app->Quit();
  } catch (const AutomationError& e) {
    return e.description();
  }
  return "opened";
}


const char* KindName(SheetKind k) {
  switch (k) {
    case SheetKind::Worksheet: return "worksheet";
    case SheetKind::Chartsheet: return "chartsheet";
    case SheetKind::Macrosheet: return "macrosheet";
    case SheetKind::Dialogsheet: return "dialogsheet";
  }
  return "?";
}

const char* VisibilityName(SheetVisibility v) {
  switch (v) {
    case SheetVisibility::Visible: return "visible";
    case SheetVisibility::Hidden: return "hidden";
    case SheetVisibility::VeryHidden: return "veryHidden";
  }
  return "?";
}

TEST(XlsCorpus, EveryWorkbookListsItsSheetsOrNamesTheOldFormat) {
  int files = 0;
  for (auto& [rel, sheets] : test::CorpusSheets()) {
    if (!IsXls(rel)) continue;
    SCOPED_TRACE(rel);
    std::string path = (Corpus() / rel).string();
    ++files;
    if (auto old = kOldFormats.find(rel); old != kOldFormats.end()) {
      std::string d = Describe(path);
      EXPECT_NE(d.find(old->second), std::string::npos) << d;
      EXPECT_NE(d.find(path), std::string::npos) << d;
      EXPECT_NE(d.find("save it as a current workbook"), std::string::npos) << d;
      continue;
    }
    // Worksheets through the object model, as a merge sees them.
    std::vector<std::string> expected, got;
    for (auto& s : sheets)
      if (s.type == "worksheet") expected.push_back(s.name);
    auto app = Application::Create();
    Workbook* wb = nullptr;
    ASSERT_NO_THROW(wb = &app->Workbooks().Open(path));
    for (int i = 1; i <= wb->Worksheets().Count(); ++i) got.push_back(wb->Worksheets()(i).Name());
    EXPECT_EQ(got, expected);
    app->Quit();

    // Every sheet with its kind and visibility, from the reader itself.
    auto reader = OpenWorkbookFile(path);
    ASSERT_EQ(reader->sheets().size(), sheets.size());
    for (size_t i = 0; i < sheets.size(); ++i) {
      EXPECT_EQ(reader->sheets()[i].name, sheets[i].name);
      EXPECT_EQ(KindName(reader->sheets()[i].kind), sheets[i].type) << sheets[i].name;
      EXPECT_EQ(VisibilityName(reader->sheets()[i].visibility), sheets[i].visibility) << sheets[i].name;
    }
  }
  EXPECT_GE(files, 32);
  EXPECT_EQ(Application::AliveCount(), 0);
}

// Copy every worksheet's used range, paste it two rows down and one column right, save,
// and let xlrd (source) and openpyxl (result) compare values, number formats, fonts and merges.
TEST(XlsCorpus, PastedSheetsMatchWhatXlrdReads) {
  test::TempDir tmp;
  std::ofstream manifest(tmp / "manifest.tsv");
  int sheets = 0;
  for (auto& [rel, list] : test::CorpusSheets()) {
    if (!IsXls(rel) || kOldFormats.count(rel)) continue;
    std::string src = (Corpus() / rel).string();
    auto app = Application::Create();
    Workbook& book = app->Workbooks().Open(src);
    for (int i = 1; i <= book.Worksheets().Count(); ++i) {
      Worksheet& ws = book.Worksheets()(i);
      SCOPED_TRACE(rel + " " + ws.Name());
      Range used = ws.UsedRange();
      int32_t rows = used.Rows().Count(), cols = used.Columns().Count();
      int32_t top = used.rect().r1 + 1, left = used.rect().c1 + 1;
      Workbook& out = app->Workbooks().Add();
      for (int k = out.Sheets().Count(); k >= 2; --k) out.Sheets()(k).Delete();
      ws.Range(used.Cells(1, 1).Address(), used.Cells(rows, cols).Address()).Copy();
      ASSERT_NO_THROW(out.Worksheets()(1).Cells(top + 2, left + 1).PasteSpecial());
      app->SetCutCopyMode(false);
      std::string result = (tmp / ("r" + std::to_string(sheets) + ".xlsx")).string();
      ASSERT_NO_THROW(out.SaveAs(result));
      out.Close(false);
      manifest << src << '\t' << ws.Name() << '\t' << result << "\tSheet1\t" << top << '\t' << left << '\t' << top + 2
               << '\t' << left + 1 << '\t' << top + rows - 1 << '\t' << left + cols - 1 << '\n';
      ++sheets;
    }
    app->Quit();
  }
  manifest.close();
  EXPECT_GE(sheets, 70);
  int status = 0;
  std::string out = test::Run(std::string(test::Python()) + " " +
                                  test::ShellQuote((test::Scripts() / "check_xls.py").string()) + " " +
                                  test::ShellQuote((tmp / "manifest.tsv").string()),
                              status);
  EXPECT_EQ(status, 0) << out;
}

struct Loaded {
  std::unique_ptr<WorkbookReader> reader;
  std::shared_ptr<const StyleTable> styles;
  std::map<std::string, std::shared_ptr<SheetData>> sheets;
};

Loaded Load(const std::string& rel) {
  Loaded l;
  l.reader = OpenWorkbookFile((Corpus() / rel).string());
  l.styles = l.reader->styles();
  for (size_t i = 0; i < l.reader->sheets().size(); ++i)
    if (l.reader->sheets()[i].kind == SheetKind::Worksheet) l.sheets[l.reader->sheets()[i].name] = l.reader->loadSheet(i);
  return l;
}

// The formula text of a cell, "value-only" for one kept as its result, "" for no formula.
std::string FormulaAt(const SheetData& d, const std::string& a1) {
  int32_t r, c;
  if (!ParseA1(a1, r, c)) return "bad address";
  const Cell* cell = d.find(r, c);
  if (!cell || cell->type != CellType::Formula) return "";
  const Formula& f = d.formulas[cell->aux];
  return f.valueOnly ? "value-only" : f.text;
}

TEST(XlsFormulas, DecompileToTheTextAnXlsxStores) {
  {
    Loaded l = Load("xls/poi_SharedFormulaTest.xls");
    const SheetData& d = *l.sheets.at("0");
    // Shared formulas: relative parts move with each cell, $ parts stay; rows past 32767 too.
    EXPECT_EQ(FormulaAt(d, "B1"), "A$1*2");
    EXPECT_EQ(FormulaAt(d, "B5"), "A$1*2");
    EXPECT_EQ(FormulaAt(d, "DY3"), "DZ3*2");
    EXPECT_EQ(FormulaAt(d, "C12"), "$A11*2");
    EXPECT_EQ(FormulaAt(d, "B32769"), "B32770*2");
    EXPECT_EQ(FormulaAt(d, "H32769"), "H32770*2");
    // The stored dimension (A1:DZ32770) costs nothing: 64 cells are 64 cells.
    EXPECT_EQ(d.cells.size(), 64u);
  }
  {
    Loaded l = Load("xls/poi_testArraysAndTables.xls");
    const SheetData& d = *l.sheets.at("Sheet1");
    int32_t r, c;
    ASSERT_TRUE(ParseA1("C11", r, c));
    const Cell* master = d.find(r, c);
    ASSERT_TRUE(master && master->type == CellType::Formula);
    const Formula& f = d.formulas[master->aux];
    EXPECT_EQ(f.kind, FormulaKind::Array);
    EXPECT_EQ(FormatRange(f.arrayRange), "C11:E12");
    EXPECT_EQ(f.text, "{\"1A\",\"1B\",\"1C\";\"2A\",\"2B\",\"2C\"}");
    EXPECT_EQ(f.cachedString, "1A");
    // The other cells of the array hold values, as in an .xlsx.
    ASSERT_TRUE(ParseA1("D12", r, c));
    ASSERT_NE(d.find(r, c), nullptr);
    EXPECT_EQ(d.find(r, c)->type, CellType::String);
    EXPECT_EQ(d.str(*d.find(r, c)), "2B");
    EXPECT_EQ(FormulaAt(d, "C2"), "{1.5,2.7,3.3,4.9,6.2}");
    EXPECT_EQ(FormulaAt(d, "B19"), "{3;4}*{5,6}");
    EXPECT_EQ(FormulaAt(d, "B27"), "B26+100&\"a\"");
    EXPECT_EQ(FormulaAt(d, "D32"), "\"#\"&B32&\"#\"");
    // What-if data tables: their cells are values only.
    EXPECT_EQ(FormulaAt(d, "C41"), "");
    ASSERT_TRUE(ParseA1("C41", r, c));
    ASSERT_NE(d.find(r, c), nullptr);
    EXPECT_EQ(d.str(*d.find(r, c)), "9aa");
    size_t formulas = 0, arrays = 0;
    for (const Cell& cell : d.cells)
      if (cell.type == CellType::Formula) {
        ++formulas;
        arrays += d.formulas[cell.aux].kind == FormulaKind::Array;
      }
    EXPECT_EQ(arrays, 5u);
    EXPECT_LT(formulas, 40u);
  }
  {
    Loaded l = Load("xls/gnm_address.xls");
    const SheetData& s = *l.sheets.at("Summary");
    EXPECT_EQ(FormulaAt(s, "B3"), "AND(E5,Address!A49,Address!A113,Address!A177,Address!A241)");
    EXPECT_EQ(FormulaAt(s, "E5"), "IF(COUNT(D6:D111)=SUM(D6:D111),1,0)");  // no ptgParen stored
    EXPECT_EQ(FormulaAt(s, "B8"), "ADDRESS(1,2)");
  }
  {
    Loaded l = Load("xls/poi_3dFormulas.xls");
    const SheetData& d = *l.sheets.at("Sheet1");
    EXPECT_EQ(FormulaAt(d, "A2"), "Sheet1!A1");
    EXPECT_EQ(FormulaAt(d, "A5"), "'S2'!A1");  // S2 reads as a cell address: quoted
    EXPECT_EQ(FormulaAt(d, "A7"), "SUM('Sh3'!A1:A4)");
    // DIMENSIONS says S2 and Sh3 are empty; their cells are read all the same.
    EXPECT_EQ(l.sheets.at("S2")->cells.size(), 2u);
    EXPECT_EQ(FormatRange(l.sheets.at("Sh3")->used), "A1:A3");
  }
}

// Tokens as other writers store them too: without the ptgParen Excel keeps for typed
// parentheses, with spaces, 3-D references and names.
TEST(XlsFormulas, TokensBecomeA1Text) {
  BiffLinks links;
  links.sheetNames = {"Sheet1", "My sheet", "Sheet3"};
  links.supBooks.resize(2);
  links.supBooks[0].kind = BiffLinks::Book::Self;
  links.supBooks[1].kind = BiffLinks::Book::External;
  links.externSheets = {{0, 1, 1}, {0, 0, 2}, {1, 0, 0}};
  links.names = {"Rates"};
  auto text = [&](const std::string& rgce, int32_t row = 0, int32_t col = 0) {
    std::string out;
    return DecompileBiff8(rgce, "", row, col, links, out) ? out : std::string("value-only");
  };
  auto ref = [](uint16_t row, uint8_t col, bool relative = true) {
    return std::string("\x44", 1) + std::string(1, static_cast<char>(row & 0xFF)) +
           std::string(1, static_cast<char>(row >> 8)) + std::string(1, static_cast<char>(col)) +
           std::string(1, relative ? '\xC0' : '\x00');
  };
  const std::string a1 = ref(0, 0), b1 = ref(0, 1), c1 = ref(0, 2);
  const std::string add("\x03", 1), sub("\x04", 1), mul("\x05", 1), pow("\x07", 1), neg("\x13", 1);
  EXPECT_EQ(text(a1 + b1 + c1 + sub + sub), "A1-(B1-C1)");
  EXPECT_EQ(text(a1 + b1 + add + c1 + mul), "(A1+B1)*C1");
  EXPECT_EQ(text(a1 + b1 + std::string("\x15", 1) + add), "A1+(B1)");
  EXPECT_EQ(text(a1 + neg + std::string("\x1E\x02\x00", 3) + pow), "-A1^2");
  EXPECT_EQ(text(a1 + std::string("\x1E\x02\x00", 3) + pow + neg), "-(A1^2)");
  EXPECT_EQ(text(ref(4, 3, false)), "$D$5");
  // Spaces the user typed around an operator.
  std::string space = std::string("\x19\x40\x00\x01", 4);
  EXPECT_EQ(text(a1 + space + b1 + space + add), "A1 + B1");
  // A union as an argument keeps its parentheses; SUM of one argument comes as tAttrSum.
  EXPECT_EQ(text(a1 + b1 + std::string("\x10", 1) + std::string("\x19\x10\x00\x00", 4)), "SUM((A1,B1))");
  // Arguments are written as the tokens stand: parentheses only where a ptgParen is, or
  // where a union needs them.
  const std::string eq("\x0B", 1), concat("\x08", 1), paren("\x15", 1), str0("\x17\x00\x00", 3);
  const std::string funcIf3("\x42\x03\x01\x00", 4), funcSum1("\x42\x01\x04\x00", 4);
  EXPECT_EQ(text(ref(8, 0) + str0 + eq + str0 + b1 + funcIf3), "IF(A9=\"\",\"\",B1)");
  EXPECT_EQ(text(ref(8, 0) + str0 + eq + paren + str0 + b1 + funcIf3), "IF((A9=\"\"),\"\",B1)");
  EXPECT_EQ(text(a1 + b1 + add + funcSum1), "SUM(A1+B1)");
  EXPECT_EQ(text(a1 + neg + std::string("\x1E\x02\x00", 3) + std::string("\x21\x1B\x00", 3)), "ROUND(-A1,2)");
  EXPECT_EQ(text(a1 + b1 + concat + c1 + std::string("\x1E\x02\x00", 3) + mul + std::string("\x42\x02\x01\x00", 4)),
            "IF(A1&B1,C1*2)");
  // IF(A1,1,2) with its jumps, CHOOSE with its jump table.
  std::string one("\x1E\x01\x00", 3), two("\x1E\x02\x00", 3);
  EXPECT_EQ(text(a1 + std::string("\x19\x02\x05\x00", 4) + one + std::string("\x19\x08\x03\x00", 4) + two +
                 std::string("\x19\x08\x03\x00", 4) + std::string("\x42\x03\x01\x00", 4)),
            "IF(A1,1,2)");
  EXPECT_EQ(text(a1 + std::string("\x19\x04\x02\x00", 4) + std::string(6, '\x00') + one + two +
                 std::string("\x42\x03\x64\x00", 4)),
            "CHOOSE(A1,1,2)");
  // 3-D references, a whole column, a name; another workbook and unknown functions are value-only.
  EXPECT_EQ(text(std::string("\x5A\x00\x00\x00\x00\x00\xC0", 7)), "'My sheet'!A1");
  EXPECT_EQ(text(std::string("\x3B\x01\x00\x00\x00\xFF\xFF\x01\x00\x02\x00", 11)), "Sheet1:Sheet3!$B:$C");
  EXPECT_EQ(text(std::string("\x5A\x02\x00\x00\x00\x00\xC0", 7)), "value-only");
  EXPECT_EQ(text(std::string("\x43\x01\x00\x00\x00", 5) + b1 + mul), "Rates*B1");
  EXPECT_EQ(text(one + std::string("\x21\xF0\x00", 3)), "value-only");
  EXPECT_EQ(text(a1 + b1), "value-only");  // two operands left over: malformed
  // Relative tokens of shared formulas count from the cell they are read for.
  EXPECT_EQ(text(std::string("\x4C\xFF\xFF\x01\xC0", 5), 9, 3), "E9");
}

// Where the corpus has the same workbook saved as .xlsx, both readers must agree on every
// cell's value and formula.
TEST(XlsFormulas, TwinWorkbooksAgreeWithTheirXlsx) {
  for (const char* name : {"calamine_any_sheets", "sjs_defined_names_unicode", "sjs_BlankSheetTypes"}) {
    SCOPED_TRACE(name);
    Loaded xls = Load(std::string("xls/") + name + ".xls");
    std::string twin = std::filesystem::exists(Corpus() / "xlsx" / (std::string(name) + ".xlsx"))
                           ? std::string("xlsx/") + name + ".xlsx"
                           : std::string("xlsm/") + name + ".xlsm";
    Loaded xlsx = Load(twin);
    ASSERT_EQ(xls.sheets.size(), xlsx.sheets.size());
    for (auto& [sheet, a] : xls.sheets) {
      ASSERT_TRUE(xlsx.sheets.count(sheet)) << sheet;
      const SheetData& b = *xlsx.sheets.at(sheet);
      EXPECT_EQ(a->used, b.used) << sheet;
      for (const Cell& ca : a->cells) {
        if (ca.type == CellType::Blank) continue;
        const Cell* cb = b.find(static_cast<int32_t>(ca.row), ca.col);
        std::string at = sheet + "!" + FormatA1(static_cast<int32_t>(ca.row), ca.col);
        ASSERT_NE(cb, nullptr) << at;
        EXPECT_EQ(ca.type, cb->type) << at;
        if (ca.type == CellType::String) EXPECT_EQ(a->str(ca), b.str(*cb)) << at;
        else if (ca.type == CellType::Formula) EXPECT_EQ(a->formulas[ca.aux].text, b.formulas[cb->aux].text) << at;
        else EXPECT_EQ(ca.num, cb->num) << at;
      }
    }
  }
}

TEST(XlsCorpus, LinksCommentsMergesDatesAndFormats) {
  {
    Loaded l = Load("xls/poi_HyperlinksOnManySheets.xls");
    ASSERT_EQ(l.sheets.at("WebLinks")->links.size(), 2u);
    EXPECT_EQ(l.sheets.at("WebLinks")->links[0].target, "http://poi.apache.org/");
    EXPECT_EQ(l.sheets.at("WebLinks")->links[1].row, 8);
    ASSERT_EQ(l.sheets.at("Emails")->links.size(), 1u);
    EXPECT_EQ(l.sheets.at("Emails")->links[0].target, "mailto:dev@poi.apache.org");
    ASSERT_EQ(l.sheets.at("Internal")->links.size(), 1u);
    EXPECT_EQ(l.sheets.at("Internal")->links[0].location, "WebLinks!A1");
  }
  {
    Loaded l = Load("xls/poi_SimpleWithComments.xls");
    const auto& comments = l.sheets.at("Sheet1")->comments;
    ASSERT_EQ(comments.size(), 3u);
    EXPECT_EQ(FormatA1(comments[1].row, comments[1].col), "B2");
    EXPECT_EQ(comments[1].author, "Yegor Kozlov");
    EXPECT_EQ(comments[1].text, "Yegor Kozlov:\nsecond cell");
  }
  {
    Loaded l = Load("xls/calamine_merged_range.xls");
    std::vector<std::string> merges;
    for (const Rect& m : l.sheets.at("Sheet2")->merges) merges.push_back(FormatRange(m));
    EXPECT_EQ(merges, (std::vector<std::string>{"A1:A4", "C3:D4", "F1:H4", "B1:B2", "C1:D2", "E1:E2"}));
  }
  {
    Loaded l = Load("xls/poi_1904DateWindowing.xls");
    EXPECT_TRUE(l.styles->date1904);
    const SheetData& d = *l.sheets.at("Sheet1");
    ASSERT_FALSE(d.cells.empty());
    EXPECT_TRUE(IsDateFormat(l.styles->styles[d.cells[0].style].numFmt));
  }
  {
    // Borders with their line styles and colours, fills, fonts; the workbook's own palette.
    Loaded l = Load("xls/poi_55341_CellStyleBorder.xls");
    const SheetData& d = *l.sheets.at("Tabelle1");
    int bordered = 0;
    for (const Cell& c : d.cells) {
      const Style& s = l.styles->styles[c.style];
      bordered += s.left.style != BorderStyle::None || s.top.style != BorderStyle::None;
    }
    EXPECT_GT(bordered, 0);
  }
  {
    // Palette index 13 is yellow by default; this workbook's PALETTE makes it FCF305.
    Loaded l = Load("xls/poi_florida_data.ashx.xls");
    const SheetData& d = *l.sheets.at("AllStateCharterData07");
    int32_t r, c;
    ASSERT_TRUE(ParseA1("AT344", r, c));
    ASSERT_NE(d.find(r, c), nullptr);
    const Style& s = l.styles->styles[d.find(r, c)->style];
    EXPECT_EQ(s.pattern, FillPattern::Solid);
    EXPECT_EQ(s.fillFg, 0xFCF305u);
  }
  {
    // BIFF5: values and formats in the workbook's code page.
    Loaded l = Load("xls/calamine_biff5_write.xls");
    const SheetData& d = *l.sheets.at("SheetJS");
    int32_t r, c;
    ASSERT_TRUE(ParseA1("D2", r, c));
    ASSERT_NE(d.find(r, c), nullptr);
    EXPECT_EQ(d.str(*d.find(r, c)), "sheetjs");
    ASSERT_TRUE(ParseA1("C3", r, c));
    EXPECT_TRUE(IsDateFormat(l.styles->styles[d.find(r, c)->style].numFmt));
  }
}

TEST(XlsReader, StringsRunOverContinueRecordsAndChangeWidth) {
  test::TempDir tmp;
  std::vector<std::string> strings;
  for (int i = 0; i < 300; ++i) strings.push_back("string number " + std::to_string(i) + std::string(static_cast<size_t>(i % 37), 'x'));
  strings.push_back(std::string(20000, 'L'));  // longer than a record
  for (bool widen : {false, true}) {
    SCOPED_TRACE(widen);
    std::string cells;
    for (uint32_t i = 0; i < strings.size(); ++i) cells += BiffWriter::LabelSst(static_cast<uint16_t>(i), 0, i);
    std::string stream = BiffWriter::Workbook({{"S", cells}}, BiffWriter::Sst(strings, 1000, widen));
    std::string path = (tmp / "continue.xls").string();
    BiffWriter::Save(path, BiffWriter::CompoundFile(stream));
    auto reader = OpenWorkbookFile(path);
    auto d = reader->loadSheet(0);
    ASSERT_EQ(d->cells.size(), strings.size());
    for (size_t i = 0; i < strings.size(); ++i) ASSERT_EQ(d->str(d->cells[i]), strings[i]) << i;
  }
}

// One shared string as it is laid out in the SST: its characters (each below 0x100 unless
// `wide`), how it is stored, and the rich-text runs and phonetic bytes that follow them.
struct SstEntry {
  std::u16string text;
  bool wide = false;
  uint16_t runs = 0;
  std::string ext;
};

// The SST with a CONTINUE record begun before every unit `splitBefore` picks, a unit being
// one header, run or phonetic byte or one character. Where the characters continue, the
// CONTINUE starts with a flags byte and, with `toggle`, stores the rest the other way
// round (compressed when the string was wide); a header is never split.
std::string SplitSst(const std::vector<SstEntry>& entries, const std::function<bool(size_t)>& splitBefore, bool toggle) {
  std::vector<std::string> bodies(1);
  BiffWriter::Put32(bodies[0], static_cast<uint32_t>(entries.size()));
  BiffWriter::Put32(bodies[0], static_cast<uint32_t>(entries.size()));
  size_t unit = 0;
  auto split = [&] { return splitBefore(unit++); };
  for (const SstEntry& e : entries) {
    std::string head;
    BiffWriter::Put16(head, static_cast<uint16_t>(e.text.size()));
    head += static_cast<char>((e.wide ? 1 : 0) | (e.runs ? 8 : 0) | (e.ext.empty() ? 0 : 4));
    if (e.runs) BiffWriter::Put16(head, e.runs);
    if (!e.ext.empty()) BiffWriter::Put32(head, static_cast<uint32_t>(e.ext.size()));
    for (size_t i = 0; i < head.size(); ++i)
      if (split() && i == 0) bodies.emplace_back();
    bodies.back() += head;
    bool wide = e.wide;
    bool narrow = std::all_of(e.text.begin(), e.text.end(), [](char16_t ch) { return ch < 0x100; });
    for (char16_t ch : e.text) {
      if (split()) {
        bodies.emplace_back();
        if (toggle && (!wide || narrow)) wide = !wide;
        bodies.back() += static_cast<char>(wide ? 1 : 0);
      }
      bodies.back() += static_cast<char>(ch & 0xFF);
      if (wide) bodies.back() += static_cast<char>(ch >> 8);
    }
    std::string tail;
    for (uint16_t r = 0; r < e.runs; ++r) {
      BiffWriter::Put16(tail, static_cast<uint16_t>(r));
      BiffWriter::Put16(tail, 0);
    }
    tail += e.ext;
    for (char b : tail) {
      if (split()) bodies.emplace_back();
      bodies.back() += b;
    }
  }
  std::string out = BiffWriter::Rec(0x00FC, bodies[0]);
  for (size_t i = 1; i < bodies.size(); ++i) out += BiffWriter::Rec(0x003C, bodies[i]);
  return out;
}

// A CONTINUE may begin anywhere the format allows: right after a string's header (the
// characters then start with their own flags byte), inside the characters (compressed
// and UTF-16 halves), between the characters and the runs, inside the runs or the
// phonetic data. Every such place, once alone and once every few units, keeps every string.
TEST(XlsReader, SharedStringsSurviveEverySplitPoint) {
  test::TempDir tmp;
  const std::vector<SstEntry> entries = {
      {u"Name", false, 0, ""},
      {u"", false, 0, ""},
      {u"caf\u00E9 au lait", true, 0, ""},
      {u"bold part", false, 2, ""},
      {u"\u03A9mega", true, 1, std::string("\x01\x00\x0A\x00phonetic", 12)},
      {u"kana", false, 0, std::string(10, '\x07')},
      {u"X", false, 0, ""},
      {u"last one", false, 0, ""},
  };
  std::vector<std::string> expected;
  for (const SstEntry& e : entries) {
    std::string u8;
    for (char16_t ch : e.text) AppendUtf8(u8, ch);
    expected.push_back(u8);
  }
  std::string cells;
  for (uint32_t i = 0; i < entries.size(); ++i) cells += BiffWriter::LabelSst(static_cast<uint16_t>(i), 0, i);
  size_t units = 0;
  SplitSst(entries, [&](size_t u) { return (units = std::max(units, u + 1)), false; }, false);
  std::string path = (tmp / "split.xls").string();
  auto check = [&](const std::function<bool(size_t)>& at, bool toggle) {
    BiffWriter::Save(path, BiffWriter::CompoundFile(BiffWriter::Workbook({{"S", cells}}, SplitSst(entries, at, toggle))));
    std::vector<std::string> got;
    try {
      auto d = OpenWorkbookFile(path)->loadSheet(0);
      for (uint32_t i = 0; i < entries.size(); ++i) {
        const Cell* c = d->find(static_cast<int32_t>(i), 0);
        got.push_back(c ? std::string(d->str(*c)) : "(missing)");
      }
    } catch (const AutomationError& e) {
      got.assign(1, e.description());
    }
    EXPECT_EQ(got, expected);
  };
  for (bool toggle : {false, true})
    for (size_t k = 1; k < units; ++k) {
      SCOPED_TRACE("split before unit " + std::to_string(k) + (toggle ? ", width toggled" : ""));
      check([k](size_t u) { return u == k; }, toggle);
      check([k](size_t u) { return u > 0 && u % (k + 1) == 0; }, toggle);
    }
}

TEST(XlsReader, FormatsCellsAndFormulasOfAGeneratedWorkbook) {
  test::TempDir tmp;
  // ptgRef B1, ptgInt 2, ptgMul; then SUM(A1:A2) through tAttrSum; then an unknown function id.
  std::string refTimes = std::string("\x44\x00\x00\x01\x80", 5) + std::string("\x1E\x02\x00\x05", 4);
  std::string sum = std::string("\x25\x00\x00\x01\x00\x00\x40\x00\x40", 9) + std::string("\x19\x10\x00\x00", 4);
  std::string unknown = std::string("\x1E\x01\x00", 3) + std::string("\x21\xF0\x00", 3);
  std::string cells = BiffWriter::Number(0, 0, 40000, 16) + BiffWriter::Number(0, 1, 3) +
                      BiffWriter::Formula(1, 0, 6, refTimes) + BiffWriter::Formula(1, 1, 43, sum) +
                      BiffWriter::Formula(1, 2, 7, unknown);
  std::string path = (tmp / "cells.xls").string();
  BiffWriter::Save(path, BiffWriter::CompoundFile(BiffWriter::Workbook({{"Data", cells}}, "")));
  auto reader = OpenWorkbookFile(path);
  auto d = reader->loadSheet(0);
  auto styles = reader->styles();
  ASSERT_EQ(d->cells.size(), 5u);
  const Style& a1 = styles->styles[d->cells[0].style];
  EXPECT_TRUE(a1.bold);
  EXPECT_EQ(a1.numFmt, "mm-dd-yy");
  EXPECT_EQ(a1.fontName, "Arial");
  EXPECT_EQ(a1.fontSize, 10);
  EXPECT_EQ(d->cells[1].style, 0u);  // XF 15, the default cell format, is style 0
  EXPECT_EQ(FormulaAt(*d, "A2"), "$B1*2");
  EXPECT_EQ(FormulaAt(*d, "B2"), "SUM(A$1:A$2)");
  EXPECT_EQ(FormulaAt(*d, "C2"), "value-only");
  EXPECT_EQ(d->cells[4].num, 7);
  EXPECT_EQ(FormatRange(d->used), "A1:C2");
}

TEST(XlsReader, CompoundFilesWithoutAWorkbookSayWhatTheyAre) {
  test::TempDir tmp;
  std::string doc = (tmp / "letter.xls").string();
  BiffWriter::Save(doc, BiffWriter::CompoundFile(std::string(5000, 'w'), "WordDocument"));
  EXPECT_NE(Describe(doc).find("\"" + doc + "\" is a Word document, not a workbook."), std::string::npos) << Describe(doc);
  std::string other = (tmp / "other.xls").string();
  BiffWriter::Save(other, BiffWriter::CompoundFile(std::string(5000, 'w'), "Contents"));
  EXPECT_NE(Describe(other).find("\"" + other + "\" is not a workbook."), std::string::npos) << Describe(other);
  for (const char* f : {"broken/poi_password.xls", "broken/poi_xor-encryption-abc.xls",
                        "broken/sjs_password_2002_40_basecrypto.xls"}) {
    std::string d = Describe((Corpus() / f).string());
    EXPECT_NE(d.find("is password-protected. Open it in your spreadsheet program, remove the password, and try again."),
              std::string::npos)
        << d;
  }
}

// A file made to lure readers into huge allocations: its sheets open, and what they hold
// is no larger than the file could justify.
TEST(XlsCorpus, HostileCountsCostNoMemory) {
  Loaded l = Load("broken/calamine_OOM_alloc.xls");
  EXPECT_EQ(l.sheets.size(), 10u);
  size_t bytes = 0;
  for (auto& [name, d] : l.sheets) bytes += d->memoryBytes();
  EXPECT_LT(bytes, 16u << 20);
  EXPECT_EQ(l.reader->sheets()[0].name, "Weekly Report");
}

// A CONTINUE record after the shared strings that claims more than the stream holds ends the
// stream there: the strings are not run on for ever over what it would have held.
TEST(XlsReader, ContinueCutShortEndsTheStream) {
  test::TempDir tmp;
  std::string cut;
  BiffWriter::Put16(cut, 0x003C);
  BiffWriter::Put16(cut, 64000);
  cut += std::string("\0abcde", 6);
  std::string path = (tmp / "cut.xls").string();
  BiffWriter::Save(path, BiffWriter::CompoundFile(BiffWriter::Workbook({{"S", BiffWriter::Number(0, 0, 1)}},
                                                                       BiffWriter::Sst({"one"}) + cut)));
  try {
    auto reader = OpenWorkbookFile(path);
    reader->styles();
    for (size_t i = 0; i < reader->sheets().size(); ++i) EXPECT_LT(reader->loadSheet(i)->memoryBytes(), 1u << 20);
  } catch (const AutomationError& e) {
    EXPECT_NE(std::string(e.description()).find(path), std::string::npos) << e.description();
  }
}

// Truncated and bit-flipped copies of real workbooks either open or fail with a description:
// never a crash, a hang or an allocation the file's size does not justify.
TEST(XlsReader, HostileBytesFailWithADescription) {
  test::TempDir tmp;
  std::mt19937 rng(20261206);
  int opened = 0, refused = 0;
  for (const char* f : {"xls/poi_SimpleWithComments.xls", "xls/poi_testArraysAndTables.xls", "xls/calamine_biff5_write.xls",
                        "xls/poi_HyperlinksOnManySheets.xls"}) {
    const std::string original = test::ReadAll(Corpus() / f);
    std::string path = (tmp / "fuzz.xls").string();
    for (int round = 0; round < 800; ++round) {
      std::string bytes = original;
      int mode = round % 4;
      if (mode == 0) {
        bytes.resize(std::uniform_int_distribution<size_t>(8, bytes.size())(rng));
      } else {
        int flips = mode == 1 ? 1 : mode == 2 ? 8 : 64;
        // Past the signature, so that the file still goes to the .xls reader.
        for (int k = 0; k < flips; ++k)
          bytes[std::uniform_int_distribution<size_t>(8, bytes.size() - 1)(rng)] =
              static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
      }
      BiffWriter::Save(path, bytes);
      try {
        auto reader = OpenWorkbookFile(path);
        reader->styles();
        for (size_t i = 0; i < reader->sheets().size(); ++i) reader->loadSheet(i);
        ++opened;
      } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.description()).find(path), std::string::npos) << e.description();
        ++refused;
      }
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace corvane
