// The .xlsb reader against the corpus, against the .xlsx twins of the same workbooks,
// and against hand-built and damaged files.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/automation/workbook_open.h"
#include "engine/containers/opc_package.h"
#include "engine/core/cellref.h"
#include "engine/core/palette.h"
#include "engine/formula/xlsb_formula.h"
#include "engine/xlsx/styles_reader.h"
#include "engine/xlsx/xlsx_reader.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsb_writer.h"

namespace corvane {
namespace {

using test::Corpus;
namespace xb = test::xlsb;

std::string KindName(SheetKind k) {
  switch (k) {
    case SheetKind::Worksheet: return "worksheet";
    case SheetKind::Chartsheet: return "chartsheet";
    case SheetKind::Macrosheet: return "macrosheet";
    case SheetKind::Dialogsheet: return "dialogsheet";
  }
  return "?";
}

std::string VisibilityName(SheetVisibility v) {
  switch (v) {
    case SheetVisibility::Visible: return "visible";
    case SheetVisibility::Hidden: return "hidden";
    case SheetVisibility::VeryHidden: return "veryHidden";
  }
  return "?";
}

// SHEETS.tsv rows of the .xlsb files.
std::map<std::string, std::vector<test::CorpusSheet>> XlsbSheetRows() {
  std::map<std::string, std::vector<test::CorpusSheet>> out;
  for (auto& [rel, rows] : test::CorpusSheets())
    if (rel.rfind("xlsb/", 0) == 0) out[rel] = rows;
  return out;
}

// ---------------------------------------------------------------------------
// Corpus

TEST(XlsbCorpus, EveryFileListsItsSheetsInTabOrder) {
  auto rows = XlsbSheetRows();
  ASSERT_EQ(rows.size(), 9u);
  for (auto& [rel, list] : rows) {
    SCOPED_TRACE(rel);
    std::string path = (Corpus() / rel).string();
    // Through the automation layer, as the merge sees them: worksheets only.
    std::vector<std::string> expected, got;
    for (auto& r : list)
      if (r.type == "worksheet") expected.push_back(r.name);
    auto app = Application::Create();
    Workbook& wb = app->Workbooks().Open(path);
    for (int i = 1; i <= wb.Worksheets().Count(); ++i) got.push_back(wb.Worksheets()(i).Name());
    EXPECT_EQ(got, expected);
    app->Quit();

    // Every sheet, with its kind and visibility.
    auto reader = OpenWorkbookFile(path);
    ASSERT_EQ(reader->sheets().size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(reader->sheets()[i].name, list[i].name);
      EXPECT_EQ(KindName(reader->sheets()[i].kind), list[i].type);
      EXPECT_EQ(VisibilityName(reader->sheets()[i].visibility), list[i].visibility);
    }
  }
  EXPECT_EQ(Application::AliveCount(), 0);
}

TEST(XlsbCorpus, EveryWorksheetLoads) {
  for (auto& e : std::filesystem::directory_iterator(Corpus() / "xlsb")) {
    SCOPED_TRACE(e.path().string());
    auto reader = OpenWorkbookFile(e.path().string());
    for (size_t i = 0; i < reader->sheets().size(); ++i) {
      if (reader->sheets()[i].kind == SheetKind::Chartsheet) continue;
      auto sheet = reader->loadSheet(i);
      for (const Cell& c : sheet->cells) ASSERT_LT(c.style, reader->styles()->styles.size());
    }
  }
}

TEST(XlsbCorpus, WorkbookWithoutStylesOrPropertiesReads) {
  auto reader = OpenWorkbookFile((Corpus() / "xlsb/calamine_issue_666_lost_sheets.xlsb").string());
  ASSERT_EQ(reader->sheets().size(), 1u);
  EXPECT_EQ(reader->styles()->styles.size(), 1u);
  EXPECT_EQ(reader->styles()->styles[0], Style{});
  EXPECT_TRUE(reader->loadSheet(0)->cells.empty());
}

TEST(XlsbCorpus, PasswordProtectedFileSaysSo) {
  auto app = Application::Create();
  try {
    app->Workbooks().Open((Corpus() / "broken/poi_protected_passtika.xlsb").string());
    ADD_FAILURE() << "opened";
  } catch (const AutomationError& e) {
    std::string d = e.description();
    EXPECT_NE(d.find("password-protected"), std::string::npos) << d;
    EXPECT_NE(d.find("poi_protected_passtika.xlsb"), std::string::npos) << d;
  }
}

TEST(XlsbCorpus, VariousCellsLinksAndComments) {
  auto reader = OpenWorkbookFile((Corpus() / "xlsb/poi_testVarious.xlsb").string());
  auto s = reader->loadSheet(0);
  auto text = [&](const char* a1) {
    int32_t r, c;
    EXPECT_TRUE(ParseA1(a1, r, c));
    const Cell* cell = s->find(r, c);
    return cell ? cell : nullptr;
  };
  EXPECT_EQ(s->str(*text("B1")), "This is a string");
  EXPECT_EQ(text("B2")->num, 13);                       // RK integer
  EXPECT_DOUBLE_EQ(text("B4")->num, 3.03);              // RK with the hundredths flag
  EXPECT_EQ(text("B8")->num, 1234567890123450.0);       // real
  EXPECT_EQ(reader->styles()->styles[text("B5")->style].numFmt, "0%");
  ASSERT_EQ(s->links.size(), 1u);
  EXPECT_EQ(FormatA1(s->links[0].row, s->links[0].col), "B12");
  EXPECT_EQ(s->links[0].target, "http://tika.apache.org/");
  ASSERT_EQ(s->comments.size(), 10u);
  EXPECT_EQ(FormatA1(s->comments[1].row, s->comments[1].col), "B11");
  EXPECT_EQ(s->comments[1].author, "Allison, Timothy B.");
  EXPECT_EQ(s->comments[1].text, "Allison, Timothy B.:\ntest comment\n");
}

// ---------------------------------------------------------------------------
// The same workbooks saved as .xlsx and as .xlsb by the same application

struct Twin {
  const char* xlsb;
  const char* other;
};
const Twin kTwins[] = {
    {"xlsb/calamine_any_sheets.xlsb", "xlsx/calamine_any_sheets.xlsx"},
    {"xlsb/calamine_date_1904.xlsb", "xlsx/calamine_date_1904.xlsx"},
    {"xlsb/sjs_defined_names_unicode.xlsb", "xlsx/sjs_defined_names_unicode.xlsx"},
    {"xlsb/sjs_BlankSheetTypes.xlsb", "xlsm/sjs_BlankSheetTypes.xlsm"},
    {"xlsb/sjs_formula_stress_test.xlsb", "xlsx/sjs_formula_stress_test.xlsx"},
    {"xlsb/sjs_large_strings.xlsb", "xlsx/sjs_large_strings.xlsx"},
};

bool Volatile(const std::string& formula) {
  for (const char* f : {"NOW()", "TODAY()", "RAND()"})
    if (formula.find(f) != std::string::npos) return true;
  return false;
}

TEST(XlsbTwins, ReadCellForCellLikeTheXlsxTwin) {
  for (const Twin& t : kTwins) {
    SCOPED_TRACE(t.xlsb);
    auto b = OpenWorkbookFile((Corpus() / t.xlsb).string());
    auto x = OpenWorkbookFile((Corpus() / t.other).string());
    auto bs = b->styles(), xs = x->styles();
    EXPECT_EQ(bs->date1904, xs->date1904);
    ASSERT_EQ(b->sheets().size(), x->sheets().size());
    for (size_t i = 0; i < b->sheets().size(); ++i) {
      const SheetInfo& info = b->sheets()[i];
      SCOPED_TRACE(info.name);
      EXPECT_EQ(info.name, x->sheets()[i].name);
      EXPECT_EQ(info.kind, x->sheets()[i].kind);
      EXPECT_EQ(info.visibility, x->sheets()[i].visibility);
      if (info.kind == SheetKind::Chartsheet) continue;
      auto sb = b->loadSheet(i), sx = x->loadSheet(i);
      EXPECT_EQ(sb->used, sx->used);
      EXPECT_EQ(sb->merges, sx->merges);
      ASSERT_EQ(sb->cells.size(), sx->cells.size());
      // Both hold the same strings: neither reading may take much more memory.
      EXPECT_LT(sb->memoryBytes(), sx->memoryBytes() * 11 / 10 + 4096);
      int formulas = 0;
      for (size_t k = 0; k < sb->cells.size(); ++k) {
        const Cell& cb = sb->cells[k];
        const Cell& cx = sx->cells[k];
        std::string where = FormatA1(static_cast<int32_t>(cb.row), cb.col);
        SCOPED_TRACE(where);
        ASSERT_EQ(where, FormatA1(static_cast<int32_t>(cx.row), cx.col));
        ASSERT_EQ(cb.type, cx.type);
        EXPECT_EQ(bs->styles[cb.style], xs->styles[cx.style]);
        switch (cb.type) {
          case CellType::String: EXPECT_EQ(sb->str(cb), sx->str(cx)); break;
          case CellType::Number:
          case CellType::Bool: EXPECT_EQ(cb.num, cx.num); break;
          case CellType::Error: EXPECT_EQ(cb.sub, cx.sub); break;
          case CellType::Formula: {
            ++formulas;
            const Formula& fb = sb->formulas[cb.aux];
            const Formula& fx = sx->formulas[cx.aux];
            EXPECT_EQ(fb.text, fx.text);
            EXPECT_EQ(fb.kind, fx.kind);
            EXPECT_EQ(fb.arrayRange, fx.arrayRange);
            EXPECT_EQ(fb.valueOnly, fx.valueOnly);
            EXPECT_EQ(cb.sub, cx.sub);
            if (Volatile(fb.text)) break;
            if (cb.sub == uint8_t(CachedKind::Number) || cb.sub == uint8_t(CachedKind::Bool)) {
              EXPECT_EQ(cb.num, cx.num);
            }
            EXPECT_EQ(fb.cachedString, fx.cachedString);
            EXPECT_EQ(fb.cachedError, fx.cachedError);
            break;
          }
          case CellType::Blank: break;
        }
      }
      if (std::string(t.xlsb).find("stress") != std::string::npos) {
        EXPECT_GT(formulas, 0);
      }
    }
  }
}

// An independent check: merge each worksheet of the .xlsb with corvane-merge and let
// openpyxl compare the result with the .xlsx twin.
TEST(XlsbTwins, MergedResultMatchesTheTwinReadByOpenpyxl) {
  test::TempDir tmp;
  std::ofstream manifest(tmp / "manifest.tsv");
  int jobs = 0;
  for (const Twin& t : kTwins) {
    if (std::string(t.xlsb).find("large_strings") != std::string::npos) continue;  // openpyxl takes minutes
    auto reader = OpenWorkbookFile((Corpus() / t.other).string());
    for (size_t i = 0; i < reader->sheets().size(); ++i) {
      const SheetInfo& info = reader->sheets()[i];
      if (info.kind != SheetKind::Worksheet) continue;
      Rect used = reader->loadSheet(i)->used;
      if (used.empty()) continue;
      std::string out = (tmp / ("r" + std::to_string(jobs) + ".xlsx")).string();
      int status = 0;
      std::string text = test::Run(std::string(CORVANE_MERGE_BIN) + " --output " + test::ShellQuote(out) + " " +
                                       test::ShellQuote((Corpus() / t.xlsb).string() + "::" + info.name),
                                   status);
      ASSERT_EQ(status, 0) << text;
      auto result = OpenWorkbookFile(out);
      manifest << (Corpus() / t.other).string() << '\t' << info.name << '\t' << out << '\t'
               << result->sheets()[0].name << '\t' << used.r1 + 1 << '\t' << used.c1 + 1 << "\t1\t1\t" << used.r2 + 1
               << '\t' << used.c2 + 1 << '\n';
      ++jobs;
    }
  }
  manifest.close();
  EXPECT_GE(jobs, 15);
  int status = 0;
  std::string out = test::Run(std::string(test::Python()) + " " +
                                  test::ShellQuote((test::Scripts() / "check_paste.py").string()) + " " +
                                  test::ShellQuote((tmp / "manifest.tsv").string()),
                              status);
  EXPECT_EQ(status, 0) << out;
}

// ---------------------------------------------------------------------------
// Formulas

const Formula* FormulaAt(const SheetData& s, const char* a1) {
  int32_t r, c;
  if (!ParseA1(a1, r, c)) return nullptr;
  const Cell* cell = s.find(r, c);
  return cell && cell->type == CellType::Formula ? &s.formulas[cell->aux] : nullptr;
}

std::string TextAt(const SheetData& s, const char* a1) {
  const Formula* f = FormulaAt(s, a1);
  return f ? f->text : "(no formula)";
}

size_t SheetIndex(WorkbookReader& r, const std::string& name) {
  for (size_t i = 0; i < r.sheets().size(); ++i)
    if (r.sheets()[i].name == name) return i;
  ADD_FAILURE() << "no sheet " << name;
  return 0;
}

TEST(XlsbFormulas, HandPickedFromTheCorpus) {
  auto various = OpenWorkbookFile((Corpus() / "xlsb/poi_testVarious.xlsb").string());
  auto v = various->loadSheet(0);
  EXPECT_EQ(TextAt(*v, "B13"), "C13*2");
  EXPECT_EQ(TextAt(*v, "B14"), "COS(NA)");  // NA is a defined name here, not the function
  EXPECT_EQ(TextAt(*v, "B15"), "1/C13");

  auto stress = OpenWorkbookFile((Corpus() / "xlsb/sjs_formula_stress_test.xlsb").string());
  auto sheet = [&](const char* name) { return stress->loadSheet(SheetIndex(*stress, name)); };
  auto lookup = sheet("Lookup");
  EXPECT_EQ(TextAt(*lookup, "B17"), "INDEX({1,2;3,4},C17,D17)");  // array constant
  EXPECT_EQ(TextAt(*lookup, "B14"), "CHOOSE(C14,A10,A7,A14,#REF!,A2,A4,A15,A23,A16,A17)");
  const Formula* transpose = FormulaAt(*lookup, "B26");
  ASSERT_TRUE(transpose);
  EXPECT_EQ(transpose->kind, FormulaKind::Array);
  EXPECT_EQ(FormatRange(transpose->arrayRange), "B26:D26");
  EXPECT_EQ(FormulaAt(*lookup, "C26"), nullptr);  // the rest of an array range holds values

  auto finance = sheet("Finance");
  EXPECT_EQ(TextAt(*finance, "B13"), "FVSCHEDULE(1,{0.09,0.11,0.1})");
  EXPECT_EQ(TextAt(*finance, "B35"), "YIELDDISC(D34,E34,G35,H34,LOG(100)/LOG(10))");
  EXPECT_EQ(TextAt(*finance, "B23"), "RATE(E23*12,F23,G23)*12");
  EXPECT_EQ(TextAt(*sheet("Logical"), "B12"), "IFERROR(C12,D12)");   // stored as _xlfn.IFERROR
  EXPECT_EQ(TextAt(*sheet("Math"), "B23"), "_xlfn.FLOOR.PRECISE(B1,C1)");
  EXPECT_EQ(TextAt(*sheet("Date"), "B17"), "WEEKNUM(B2)");          // Analysis ToolPak ids
  EXPECT_EQ(TextAt(*sheet("Engineering"), "B4"), "BESSELK(C4,D4)");
  EXPECT_EQ(TextAt(*sheet("Information"), "B2"), "ERROR.TYPE(#VALUE!)");

  // Shared formulas whose anchor is the last cell of the first row.
  auto large = OpenWorkbookFile((Corpus() / "xlsb/sjs_large_strings.xlsb").string());
  auto ls = large->loadSheet(0);
  EXPECT_EQ(TextAt(*ls, "I286"), "CONCATENATE(I285,\"a\")");
  EXPECT_EQ(TextAt(*ls, "K300"), "CONCATENATE(K299,\"a\")");
}

// A workbook of three sheets whose formulas use tokens the corpus lacks.
xb::Book FormulaBook() {
  xb::Book b;
  b.sheets.push_back({"Data", "", "", 0, ""});
  b.sheets.push_back({"My sheet", "", "", 0, ""});
  b.sheets.push_back({"Sheet3", "", "", 0, ""});
  // Externals: this book, then another book with one sheet; 3-D references by index.
  b.workbookExtra = xb::Rec(353) + xb::Rec(357) + xb::Rec(360, xb::U16(0) + xb::WStr("other.xlsx")) +
                    xb::Rec(359, xb::U32(1) + xb::WStr("Ext")) + xb::Rec(588) +
                    xb::Rec(362, xb::U32(5) + xb::U32(0) + xb::U32(1) + xb::U32(1) +   // 'My sheet'
                                     xb::U32(0) + xb::U32(2) + xb::U32(2) +            // Sheet3
                                     xb::U32(0) + xb::U32(0) + xb::U32(2) +            // Data:Sheet3
                                     xb::U32(1) + xb::U32(0) + xb::U32(0) +            // [1]Ext
                                     xb::U32(0) + xb::U32(0xFFFFFFFF) + xb::U32(0xFFFFFFFF)) +  // a deleted sheet
                    xb::Rec(354) +
                    xb::Rec(39, xb::U32(0) + xb::U8(0) + xb::U32(0xFFFFFFFF) + xb::WStr("Rate") +
                                    xb::Tokens(xb::PtgInt(1)) + xb::U32(0xFFFFFFFF));
  using namespace xb;
  std::string d = RowHdr(0);
  uint32_t col = 0;
  auto f = [&](const std::string& rgce, const std::string& rgcb = "") { d += FmlaNum(col++, 1, rgce, rgcb); };
  f(PtgRef3d(0, 4, 0));                                          // A1
  f(PtgRef3d(0, 0, 1) + PtgRef3d(1, 0, 2) + kAdd);               // B1
  f(U8(0x3B) + U16(2) + U32(0) + U32(9) + U16(0) + U16(0));      // C1: 3-D range over sheets
  f(PtgRef3d(3, 0, 0));                                          // D1: another book
  f(PtgName(1) + PtgInt(2) + kMul);                              // E1
  // F1: (1+2)*3 without a parenthesis token: the order of the tokens says it.
  f(PtgInt(1) + PtgInt(2) + kAdd + PtgInt(3) + kMul);
  // G1: 1-(2-3), again without parentheses.
  f(PtgInt(1) + PtgInt(2) + PtgInt(3) + kSub + kSub);
  // H1: spaces around the operator and before a closing parenthesis.
  f(PtgRef(0, 0) + PtgSpace(0, 1) + PtgRef(0, 1) + PtgSpace(4, 2) + PtgSpace(0, 1) + kAdd + kParen);
  // I1: SUM(A:A,2:2) and absolute references.
  f(U8(0x25) + U32(0) + U32(1048575) + ColWord(0, false, false) + ColWord(0, false, false) +
    U8(0x25) + U32(1) + U32(1) + ColWord(0, true, true) + ColWord(16383, true, true) + PtgFuncVar(2, 4));
  // J1: a union as a function argument keeps its parentheses.
  f(PtgRef(0, 0) + PtgRef(1, 1) + kUnion + PtgFuncVar(1, 4));
  // K1: an array constant of every element kind.
  f(U8(0x60) + std::string(14, '\0'),
    U32(2) + U32(2) + U8(0) + F64(1.5) + U8(1) + U16(2) + Utf16("ab") + U8(2) + U8(1) + U8(4) + U8(0x2A) + U16(0) + U8(0));
  // L1: a user-defined function: its name comes as the first argument of function 255.
  f(PtgName(1) + PtgInt(7) + PtgFuncVar(2, 255));
  // M1: a table reference, which has no A1 text.
  f(U8(0x18) + U8(0x19) + std::string(12, '\0'));
  // N1: numbers as formula text writes them.
  f(PtgNum(0.1) + PtgNum(1e20) + kAdd + PtgNum(-2.5e-12) + kAdd + PtgNum(123456789) + kAdd);
  // O1: a string with a quote, a bool and an error.
  f(PtgStr("a\"b") + U8(0x1D) + U8(1) + U8(0x1C) + U8(0x07) + PtgFuncVar(3, 1));
  // P1: an unknown token: the cell keeps its value.
  f(U8(0x3F) + U32(0));
  // Q1: a reference into a deleted sheet.
  f(PtgRef3d(4, 0, 0));
  // R1: a shared formula that never comes: the value stays.
  f(PtgExp(0), U32(30));
  // S1, T1: arguments as their tokens stand, without parentheses of their own.
  f(PtgRef(8, 0) + PtgStr("") + U8(0x0B) + PtgStr("") + PtgRef(0, 1) + PtgFuncVar(3, 1));
  f(PtgRef(0, 0) + PtgRef(0, 1) + kAdd + PtgFuncVar(1, 4));
  b.sheets[0].data = d;
  return b;
}

TEST(XlsbFormulas, TokensWithoutAnExampleInTheCorpus) {
  test::TempDir tmp;
  auto path = tmp / "f.xlsb";
  test::WriteZip(path, xb::Parts(FormulaBook()));
  auto r = OpenWorkbookFile(path.string());
  auto s = r->loadSheet(0);
  struct Want {
    const char* cell;
    const char* text;
    bool valueOnly;
  };
  const Want wants[] = {
      {"A1", "'My sheet'!$A$5", false},  // other sheets: ShiftFormula pastes their value
      {"B1", "'My sheet'!$B$1+Sheet3!$C$1", false},
      {"C1", "Data:Sheet3!$A$1:$A$10", false},
      {"D1", "[1]Ext!$A$1", false},
      {"E1", "Rate*2", false},
      {"F1", "(1+2)*3", false},
      {"G1", "1-(2-3)", false},
      {"H1", "(A1 + B1  )", false},
      {"I1", "SUM($A:$A,2:2)", false},
      {"J1", "SUM((A1,B2))", false},
      {"K1", "{1.5,\"ab\";TRUE,#N/A}", false},
      {"L1", "Rate(7)", true},  // a name called as a function: a macro's, lost in another workbook
      {"M1", "#REF!", true},
      {"N1", "0.1+1E+20+-2.5E-12+123456789", false},
      {"O1", "IF(\"a\"\"b\",TRUE,#DIV/0!)", false},
      {"Q1", "#REF!$A$1", true},
      {"S1", "IF(A9=\"\",\"\",B1)", false},
      {"T1", "SUM(A1+B1)", false},
  };
  for (const Want& w : wants) {
    SCOPED_TRACE(w.cell);
    const Formula* f = FormulaAt(*s, w.cell);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->text, w.text);
    EXPECT_EQ(f->valueOnly, w.valueOnly);
  }
  int32_t r1, c1;
  ASSERT_TRUE(ParseA1("P1", r1, c1));
  const Cell* p1 = s->find(r1, c1);
  ASSERT_TRUE(p1);
  EXPECT_EQ(p1->type, CellType::Number);
  ASSERT_TRUE(ParseA1("R1", r1, c1));
  ASSERT_TRUE(s->find(r1, c1));
  EXPECT_EQ(s->find(r1, c1)->type, CellType::Number);
}

// Tokens that would build text without end (each step copying all before it) are
// given up: the cells keep their values.
TEST(XlsbFormulas, RunawayTokensAreGivenUp) {
  using namespace xb;
  std::string minus = PtgInt(1), spaces = PtgInt(1), deep;
  for (int i = 0; i < 60000; ++i) minus += U8(0x13);
  for (int i = 0; i < 60000; ++i) spaces += PtgSpace(0, 255);
  for (int i = 0; i < 60000; ++i) deep += PtgInt(1);
  Book b;
  std::string d = RowHdr(0);
  for (uint32_t c = 0; c < 50; ++c) d += FmlaNum(c, 7, c % 3 == 0 ? minus : c % 3 == 1 ? spaces : deep);
  b.sheets.push_back({"S", d, "", 0, ""});
  test::TempDir tmp;
  test::WriteZip(tmp / "r.xlsb", Parts(b));
  auto s = OpenWorkbookFile((tmp / "r.xlsb").string())->loadSheet(0);
  ASSERT_EQ(s->cells.size(), 50u);
  for (const Cell& c : s->cells) {
    EXPECT_EQ(c.type, CellType::Number);
    EXPECT_EQ(c.num, 7);
  }
}

// ---------------------------------------------------------------------------
// Cells, merges and links of a hand-built file

TEST(XlsbReader, CellKindsMergesAndLinks) {
  using namespace xb;
  Book b;
  b.sst = {"shared one", "shared two"};
  std::string d;
  d += RowHdr(0) + Rk(0, (42u << 2) | 2) + Rk(1, (static_cast<uint32_t>(-7) << 2) | 2 | 1) + Isst(2, 1) + Str(3, "inline é") +
       RichStr(4, "rich") + BoolCell(5, true) + ErrorCell(6, 0x2A) + Blank(7, 0) + Real(8, 2.5);
  // Written out of order: a later row before an earlier one.
  d += RowHdr(9) + Real(0, 10);
  d += RowHdr(4) + Real(1, 5);
  // A shared formula B6:B8 = A6*2...; its anchor is B6.
  d += RowHdr(5) + Real(0, 1) + FmlaNum(1, 2, PtgExp(5), U32(1)) + ShrFmla(Rfx(5, 7, 1, 1), PtgRefN(0, -1) + PtgInt(2) + kMul);
  d += RowHdr(6) + FmlaNum(1, 4, PtgExp(5), U32(1));
  d += RowHdr(7) + FmlaNum(1, 6, PtgExp(5), U32(1));
  b.sheets.push_back({"S", d,
                      Rec(177, U32(2)) + Merge(0, 1, 10, 11) + Merge(3, 3, 3, 3) + Rec(178) +
                          HLink(Rfx(0, 0, 3, 3), "rId7", "") + HLink(Rfx(1, 2, 0, 1), "", "S!A10") +
                          HLink(Rfx(3, 3, 0, 0), "rIdMissing", ""),
                      0,
                      "<Relationship Id=\"rId7\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                      "hyperlink\" Target=\"https://example.com/x\" TargetMode=\"External\"/>"});
  b.sheets.push_back({"Hidden", "", "", 1, ""});
  b.date1904 = true;
  test::TempDir tmp;
  test::WriteZip(tmp / "c.xlsb", Parts(b));

  auto r = OpenWorkbookFile((tmp / "c.xlsb").string());
  ASSERT_EQ(r->sheets().size(), 2u);
  EXPECT_EQ(r->sheets()[1].visibility, SheetVisibility::Hidden);
  EXPECT_TRUE(r->styles()->date1904);
  auto s = r->loadSheet(0);
  ASSERT_TRUE(s->sorted);
  auto at = [&](const char* a1) {
    int32_t row, col;
    EXPECT_TRUE(ParseA1(a1, row, col));
    const Cell* c = s->find(row, col);
    EXPECT_TRUE(c) << a1;
    return c ? *c : Cell{};
  };
  EXPECT_EQ(at("A1").num, 42);
  EXPECT_DOUBLE_EQ(at("B1").num, -0.07);
  EXPECT_EQ(s->str(at("C1")), "shared two");
  EXPECT_EQ(s->str(at("D1")), "inline é");
  EXPECT_EQ(s->str(at("E1")), "rich");
  EXPECT_EQ(at("F1").type, CellType::Bool);
  EXPECT_EQ(at("G1").sub, uint8_t(ErrorCode::NA));
  EXPECT_EQ(s->find(0, 7), nullptr);  // a blank without a format is no cell
  EXPECT_EQ(at("I1").num, 2.5);
  EXPECT_EQ(at("A10").num, 10);
  EXPECT_EQ(TextAt(*s, "B6"), "A6*2");
  EXPECT_EQ(TextAt(*s, "B8"), "A8*2");
  EXPECT_EQ(s->used, (Rect{0, 0, 9, 11}));
  ASSERT_EQ(s->merges.size(), 1u);  // a one-cell merge is none
  EXPECT_EQ(FormatRange(s->merges[0]), "K1:L2");
  ASSERT_EQ(s->links.size(), 2u);
  EXPECT_EQ(s->links[0].target, "https://example.com/x");
  EXPECT_EQ(s->links[1].location, "S!A10");
  EXPECT_EQ(s->links[1].rows, 2);
  EXPECT_EQ(s->links[1].cols, 2);
}

// The workbook part is the one the package's relationships name, binary when its content
// type (an Override for the part, else the Default of its extension) says so, whatever its
// name; without a content type a ".bin" name decides.
TEST(XlsbReader, WorkbookPartIsFoundByRelationshipAndContentType) {
  const std::string types = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">";
  const std::string binary = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";
  struct Case {
    std::string part, contentTypes;
  };
  const std::vector<Case> cases = {
      {"xl/workbook.bin", types + "</Types>"},
      {"xl/Book1.bin", types + "<Default Extension=\"bin\" ContentType=\"application/vnd.openxmlformats-officedocument."
                               "spreadsheetml.printerSettings\"/></Types>"},
      {"wb/main.dat", types + "<Override PartName=\"/WB/Main.dat\" ContentType=\"" + binary + "\"/></Types>"},
      {"xl/workbook.xlsb", types + "<Default Extension=\"XLSB\" ContentType=\"" + binary + "\"/></Types>"},
      {"xl/workbook.bin", "<Types damaged"},
  };
  xb::Book b;
  b.sst = {"moved"};
  b.sheets.push_back({"Only", xb::RowHdr(0) + xb::Isst(0, 0), "", 0, ""});
  test::TempDir tmp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.part);
    auto parts = xb::Parts(b);
    std::string rels = parts["_rels/.rels"];
    rels.replace(rels.find("xl/workbook.bin"), 15, c.part);
    parts["_rels/.rels"] = rels;
    std::string wb = parts["xl/workbook.bin"], wbRels = parts["xl/_rels/workbook.bin.rels"];
    parts.erase("xl/workbook.bin");
    parts.erase("xl/_rels/workbook.bin.rels");
    // The sheet and string parts stay in xl/: relative targets are resolved from the new folder.
    if (DirOf(c.part) != "xl/")
      for (std::string from : {"worksheets/", "sharedStrings.bin"})
        for (size_t at = wbRels.find("\"" + from); at != std::string::npos; at = wbRels.find("\"" + from, at + 4))
          wbRels.insert(at + 1, "../xl/");
    parts[c.part] = wb;
    parts[RelsPartOf(c.part)] = wbRels;
    parts["[Content_Types].xml"] = c.contentTypes;
    test::WriteZip(tmp / "renamed.xlsb", parts);
    auto r = OpenWorkbookFile((tmp / "renamed.xlsb").string());
    ASSERT_EQ(r->sheets().size(), 1u);
    EXPECT_EQ(r->sheets()[0].name, "Only");
    auto s = r->loadSheet(0);
    ASSERT_EQ(s->cells.size(), 1u);
    EXPECT_EQ(s->str(s->cells[0]), "moved");
  }
}

// Styles in both formats: a styles.bin and the styles.xml it stands for read alike.
TEST(XlsbReader, StylesReadLikeTheirXmlEquivalent) {
  using namespace xb;
  auto color = [](uint8_t type, uint8_t index, int16_t tint, uint32_t rgb) {
    return U8(static_cast<uint8_t>(type << 1 | 1)) + U8(index) + U16(static_cast<uint16_t>(tint)) +
           U8(static_cast<uint8_t>(rgb >> 16)) + U8(static_cast<uint8_t>(rgb >> 8)) + U8(static_cast<uint8_t>(rgb)) +
           U8(0xFF);
  };
  auto font = [&](uint16_t twips, uint16_t flags, uint16_t weight, uint8_t ul, const std::string& c,
                  const std::string& name) {
    return Rec(43, U16(twips) + U16(flags) + U16(weight) + U16(0) + U8(ul) + U8(2) + U8(0) + U8(0) + c + U8(0) +
                       WStr(name));
  };
  auto fill = [&](uint32_t pattern, const std::string& fg, const std::string& bg) {
    return Rec(45, U32(pattern) + fg + bg + U32(0) + std::string(40, '\0') + U32(0));
  };
  auto side = [&](uint8_t style, const std::string& c) { return U8(style) + U8(0) + c; };
  auto xf = [&](uint16_t fmt, uint16_t fnt, uint16_t fil, uint16_t bdr, uint8_t rot, uint8_t indent, uint16_t flags) {
    return Rec(47, U16(0) + U16(fmt) + U16(fnt) + U16(fil) + U16(bdr) + U8(rot) + U8(indent) + U16(flags) + U16(0));
  };
  const std::string autoColor = U8(1) + std::string(7, '\0');
  std::string bin = Rec(278) + Rec(615, U32(1)) + Rec(44, U16(164) + WStr("0.000\"<x>\"")) + Rec(616) +
                    font(220, 0, 400, 0, color(3, 1, 0, 0), "Calibri") +
                    font(280, 0x0A, 700, 0x21, color(2, 0, 0, 0x1F3864), "Arial & Co") +
                    font(200, 0, 400, 2, color(3, 4, -8191, 0), "Times") +
                    fill(0, autoColor, autoColor) + fill(17, color(1, 64, 0, 0), color(1, 65, 0, 0)) +
                    fill(1, color(2, 0, 0, 0xFFFF00), color(1, 64, 0, 0)) + fill(9, color(1, 0, 0, 0), color(3, 5, 13106, 0)) +
                    Rec(46, U8(0) + side(0, autoColor) + side(0, autoColor) + side(0, autoColor) + side(0, autoColor) +
                                side(0, autoColor)) +
                    Rec(46, U8(0) + side(2, color(2, 0, 0, 0xFF0000)) + side(6, color(1, 12, 0, 0)) +
                                side(13, color(3, 3, 0, 0)) + side(1, autoColor) + side(0, autoColor)) +
                    Rec(626, U32(1)) + xf(0, 0, 0, 0, 0, 0, 0x1010) + Rec(627) + Rec(617, U32(4)) +
                    xf(0, 0, 0, 0, 0, 0, 0x1010) + xf(164, 1, 2, 1, 45, 0, 0x1000 | 0x40 | (1 << 3) | 2) +
                    xf(14, 2, 3, 0, 255, 3, 0x2000 | 0x100 | (4 << 3) | 7) + xf(9, 0, 1, 1, 90, 0, 0x1010 | 6) +
                    Rec(618) + Rec(565) + Rec(475, U8(1) + U8(2) + U8(3) + U8(0)) + Rec(566) + Rec(279);
  const std::string xml =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<numFmts><numFmt numFmtId=\"164\" formatCode=\"0.000&quot;&lt;x&gt;&quot;\"/></numFmts><fonts>"
      "<font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/></font>"
      "<font><b/><i/><strike/><u val=\"singleAccounting\"/><sz val=\"14\"/><color rgb=\"FF1F3864\"/><name val=\"Arial &amp; Co\"/></font>"
      "<font><u val=\"double\"/><sz val=\"10\"/><color theme=\"4\" tint=\"-0.249977111117893\"/><name val=\"Times\"/></font>"
      "</fonts><fills><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill>"
      "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/><bgColor indexed=\"64\"/></patternFill></fill>"
      "<fill><patternFill patternType=\"darkGrid\"><fgColor indexed=\"0\"/><bgColor theme=\"5\" tint=\"0.39997558519241921\"/></patternFill></fill>"
      "</fills><borders><border><left/><right/><top/><bottom/><diagonal/></border>"
      "<border><left style=\"slantDashDot\"><color theme=\"3\"/></left><right style=\"thin\"/>"
      "<top style=\"medium\"><color rgb=\"FFFF0000\"/></top><bottom style=\"double\"><color indexed=\"12\"/></bottom></border>"
      "</borders><cellXfs count=\"4\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "<xf numFmtId=\"164\" fontId=\"1\" fillId=\"2\" borderId=\"1\"><alignment horizontal=\"center\" vertical=\"center\" wrapText=\"1\" textRotation=\"45\"/></xf>"
      "<xf numFmtId=\"14\" fontId=\"2\" fillId=\"3\" borderId=\"0\"><alignment horizontal=\"distributed\" vertical=\"distributed\" shrinkToFit=\"1\" indent=\"3\" textRotation=\"255\"/><protection locked=\"0\" hidden=\"1\"/></xf>"
      "<xf numFmtId=\"9\" fontId=\"0\" fillId=\"1\" borderId=\"1\"><alignment horizontal=\"centerContinuous\" textRotation=\"90\"/></xf>"
      "</cellXfs><colors><indexedColors><rgbColor rgb=\"FF010203\"/></indexedColors></colors></styleSheet>";

  Book b;
  b.sheets.push_back({"S", "", "", 0, ""});
  b.styles = bin;
  test::TempDir tmp;
  test::WriteZip(tmp / "s.xlsb", Parts(b));
  auto fromBin = OpenWorkbookFile((tmp / "s.xlsb").string())->styles()->styles;
  auto fromXml = ReadStyles(xml, "");
  ASSERT_EQ(fromBin.size(), 4u);
  ASSERT_EQ(fromXml.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(fromBin[i], fromXml[i]) << "style " << i;
  EXPECT_EQ(fromBin[1].fontName, "Arial & Co");
  EXPECT_EQ(fromBin[1].numFmt, "0.000\"<x>\"");
  EXPECT_EQ(fromBin[2].numFmt, "mm-dd-yy");
  EXPECT_EQ(fromBin[2].fillFg, 0x010203u);  // the workbook's own palette
  EXPECT_EQ(fromBin[1].bottom.color, DefaultPaletteColor(12));
}

// Values beyond what a format can show are read as their styles.xml equivalents are: the
// default where the element would be left out, the nearest allowed value where it is clamped.
TEST(XlsbReader, StyleValuesOutOfRangeReadAsTheirXmlEquivalents) {
  using namespace xb;
  const std::string unknownColor = U8(5 << 1 | 1) + U8(0) + U16(0) + std::string(4, '\0');
  const std::string tinted = U8(3 << 1 | 1) + U8(4) + U16(static_cast<uint16_t>(-32768)) + std::string(4, '\0');
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::string gradient = U32(0x28) + unknownColor + unknownColor + U32(1) + F64(nan) + F64(2) + F64(-1) + F64(0.5) +
                         F64(0.25) + U32(2) + tinted + F64(-3) + unknownColor + F64(nan);
  std::string side = U8(14) + U8(0) + tinted;
  std::string bin = Rec(278) +
                    Rec(43, U16(0) + U16(0) + U16(599) + U16(0) + U8(3) + U8(2) + U8(0) + U8(0) + unknownColor + U8(0) +
                                WStr("A\x01" "B")) +
                    Rec(45, U32(30) + tinted + tinted + U32(0) + std::string(40, '\0') + U32(0)) + Rec(45, gradient) +
                    Rec(46, U8(3) + side + side + side + side + side) + Rec(617, U32(1)) +
                    Rec(47, U16(0) + U16(0) + U16(0) + U16(1) + U16(0) + U8(200) + U8(255) + U16(5 << 3) + U16(0)) +
                    Rec(618) + Rec(279);
  Book b;
  b.sheets.push_back({"S", "", "", 0, ""});
  b.styles = bin;
  test::TempDir tmp;
  test::WriteZip(tmp / "s.xlsb", Parts(b));
  auto styles = OpenWorkbookFile((tmp / "s.xlsb").string())->styles()->styles;
  ASSERT_EQ(styles.size(), 1u);
  const Style& s = styles[0];
  EXPECT_EQ(s.fontSize, 11);
  EXPECT_FALSE(s.bold);
  EXPECT_EQ(s.underline, Underline::None);
  EXPECT_EQ(s.fontColor, kAutoColor);
  EXPECT_EQ(s.fontName, "A\xEF\xBF\xBD" "B");
  EXPECT_EQ(s.pattern, FillPattern::None);
  ASSERT_EQ(s.gradient.stops.size(), 2u);
  EXPECT_EQ(s.gradient.type, Gradient::Type::Path);
  EXPECT_EQ(s.gradient.degree, 0);
  EXPECT_EQ(s.gradient.left, 1);
  EXPECT_EQ(s.gradient.right, 0);
  EXPECT_EQ(s.gradient.top, 0.5);
  EXPECT_EQ(s.gradient.stops[0].position, 0);
  EXPECT_EQ(s.gradient.stops[0].color, Tinted(OfficeThemeColor(4), -1));
  EXPECT_EQ(s.gradient.stops[1].color, kAutoColor);
  for (const BorderSide* border : {&s.left, &s.right, &s.top, &s.bottom, &s.diagonal}) EXPECT_EQ(*border, BorderSide{});
  EXPECT_FALSE(s.diagonalUp || s.diagonalDown);
  EXPECT_EQ(s.rotation, 0);
  EXPECT_EQ(s.indent, 250);
  EXPECT_EQ(s.vAlign, VAlign::Bottom);
}

// ---------------------------------------------------------------------------
// Damage

// A zip of uncompressed parts: quick to write thousands of times.
void WriteStoredZip(const std::filesystem::path& path, const std::map<std::string, std::string>& parts) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_TRUE(z);
  for (auto& [name, body] : parts) {
    zip_source_t* src = zip_source_buffer(z, body.data(), body.size(), 0);
    zip_int64_t i = zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

// Flips bytes in, and cuts short, each part of a few workbooks a few thousand times
// over: every attempt opens and loads, or fails with a description.
TEST(XlsbReader, DamagedPartsFailWithADescription) {
  std::vector<std::map<std::string, std::string>> books;
  books.push_back(xb::Parts(FormulaBook()));
  for (const char* f : {"xlsb/poi_testVarious.xlsb", "xlsb/sjs_formula_stress_test.xlsb"}) {
    std::map<std::string, std::string> parts;
    for (auto& [name, body] : test::ReadZip(Corpus() / f)) {
      bool needed = name.find("vbaProject") == std::string::npos && name.find("printerSettings") == std::string::npos &&
                    (name.size() > 4 && (name.compare(name.size() - 4, 4, ".bin") == 0 ||
                                         name.compare(name.size() - 5, 5, ".rels") == 0 ||
                                         name.find("theme") != std::string::npos));
      if (needed) parts[name] = body;
    }
    books.push_back(parts);
  }
  test::TempDir tmp;
  std::mt19937 rng(12345);
  int attempts = 0, failures = 0;
  for (auto& parts : books) {
    std::vector<std::string> targets;
    for (auto& [name, body] : parts)
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0) targets.push_back(name);
    for (int round = 0; round < 1000; ++round) {
      auto damaged = parts;
      std::string& body = damaged[targets[rng() % targets.size()]];
      if (body.empty()) continue;
      if (round % 4 == 0) {
        body.resize(rng() % body.size());
      } else {
        int flips = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < flips; ++k) body[rng() % body.size()] = static_cast<char>(rng());
      }
      auto path = tmp / "d.xlsb";
      WriteStoredZip(path, damaged);
      ++attempts;
      try {
        auto r = OpenWorkbookFile(path.string());
        r->styles();
        for (size_t i = 0; i < r->sheets().size(); ++i) {
          if (r->sheets()[i].kind == SheetKind::Chartsheet) continue;
          auto s = r->loadSheet(i);
          for (const Cell& c : s->cells) {
            ASSERT_LT(c.style, r->styles()->styles.size());
            if (c.type == CellType::String) s->str(c);
            if (c.type == CellType::Formula) {
              ASSERT_LT(c.aux, s->formulas.size());
            }
          }
        }
      } catch (const AutomationError& e) {
        ++failures;
        EXPECT_NE(std::string(e.description()).find("d.xlsb"), std::string::npos) << e.description();
      }
    }
  }
  EXPECT_EQ(attempts, 3000);
  EXPECT_GT(failures, 100);
}

}  // namespace
}  // namespace corvane
