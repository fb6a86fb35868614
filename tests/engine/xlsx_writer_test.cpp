// Saves hand-built sheets and reads them back with openpyxl (tests/scripts/dump_xlsx.py).
#include "engine/writing/xlsx_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/error.h"
#include "engine/core/model.h"
#include "engine/core/style.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsx_readback.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

using test::kMissing;
using test::ReadBack;
using test::Readback;
using test::SheetBuilder;

class XlsxWriterTest : public ::testing::Test {
 protected:
  std::string file(const std::string& name) const { return dir_.path().string() + "/" + name; }

  // Saves one sheet called "S" and reads the file back.
  Readback saveOne(const SheetData& d, const std::vector<Style>& styles) {
    std::string path = file("one.xlsx");
    SaveXlsx(path, {{"S", &d, &styles}});
    return ReadBack(path);
  }

  test::TempDir dir_;
  const std::vector<Style> defaultStyles_{Style{}};
};

TEST_F(XlsxWriterTest, ValuesOfEveryTypeSurvive) {
  SheetBuilder b;
  b.number(0, 0, 42);
  b.number(0, 1, -0.125);
  b.number(0, 2, 1e300);
  b.text(1, 0, "plain");
  b.text(1, 1, "Grüße — 日本 😀");
  b.text(1, 2, "tab\there\nnew line");
  b.boolean(2, 0, true);
  b.boolean(2, 1, false);
  b.number(3, 0, std::nan(""));  // not storable as a number: the error the spreadsheet shows
  // A string from the workbook's shared pool.
  auto shared = std::make_shared<StringPool>();
  shared->add("first");
  uint32_t second = shared->add("from the shared pool");
  Cell& s = b.add(4, 0, CellType::String);
  s.sub = kSharedString;
  s.aux = second;
  SheetData d = b.done();
  d.shared = shared;

  Readback rb = saveOne(d, defaultStyles_);
  EXPECT_EQ(rb.get("S", "A1", "type"), "n");
  EXPECT_EQ(rb.get("S", "A1", "value"), "42.0");
  EXPECT_EQ(rb.get("S", "B1", "value"), "-0.125");
  EXPECT_EQ(rb.get("S", "C1", "value"), "1e+300");
  EXPECT_EQ(rb.get("S", "A2", "type"), "s");
  EXPECT_EQ(rb.get("S", "A2", "value"), "plain");
  EXPECT_EQ(rb.get("S", "B2", "value"), "Grüße — 日本 😀");
  EXPECT_EQ(rb.get("S", "C2", "value"), "tab\there\nnew line");
  EXPECT_EQ(rb.get("S", "A3", "type"), "b");
  EXPECT_EQ(rb.get("S", "A3", "value"), "TRUE");
  EXPECT_EQ(rb.get("S", "B3", "value"), "FALSE");
  EXPECT_EQ(rb.get("S", "A4", "type"), "e");
  EXPECT_EQ(rb.get("S", "A4", "value"), "#NUM!");
  EXPECT_EQ(rb.get("S", "A5", "value"), "from the shared pool");
}

TEST_F(XlsxWriterTest, ErrorsAreErrorCells) {
  const std::vector<std::pair<ErrorCode, std::string>> errors = {
      {ErrorCode::Null, "#NULL!"}, {ErrorCode::Div0, "#DIV/0!"}, {ErrorCode::Value, "#VALUE!"},
      {ErrorCode::Ref, "#REF!"},   {ErrorCode::Name, "#NAME?"},  {ErrorCode::Num, "#NUM!"},
      {ErrorCode::NA, "#N/A"},
  };
  SheetBuilder b;
  for (size_t i = 0; i < errors.size(); ++i) b.error(static_cast<uint32_t>(i), 0, errors[i].first);
  Readback rb = saveOne(b.done(), defaultStyles_);
  for (size_t i = 0; i < errors.size(); ++i) {
    std::string cell = "A" + std::to_string(i + 1);
    SCOPED_TRACE(cell);
    EXPECT_EQ(rb.get("S", cell, "type"), "e");
    EXPECT_EQ(rb.get("S", cell, "value"), errors[i].second);
    EXPECT_EQ(rb.get("S", cell, "cached.type"), "e");
  }
}

TEST_F(XlsxWriterTest, BlanksAreKeptWithAFormatAndEmptyStringsAlways) {
  Style bordered;
  bordered.bottom = {BorderStyle::Thin, 0xFF0000};
  std::vector<Style> styles{Style{}, bordered};
  SheetBuilder b;
  b.blank(0, 0, 1);  // formatted blank
  b.blank(0, 1, 0);  // nothing to show: not written
  b.text(1, 0, "", 1);
  b.text(1, 1, "", 0);
  b.number(2, 2, 1);
  Readback rb = saveOne(b.done(), styles);
  ASSERT_TRUE(rb.hasCell("S", "A1"));
  EXPECT_EQ(rb.get("S", "A1", "value"), kMissing);
  EXPECT_EQ(rb.get("S", "A1", "border.bottom"), "thin");
  EXPECT_EQ(rb.get("S", "A1", "border.bottom.color"), "FFFF0000");
  EXPECT_FALSE(rb.hasCell("S", "B1"));
  EXPECT_EQ(rb.get("S", "A2", "type"), "s");
  EXPECT_EQ(rb.get("S", "A2", "value"), "");
  EXPECT_EQ(rb.get("S", "A2", "border.bottom"), "thin");
  EXPECT_EQ(rb.get("S", "B2", "type"), "s");
  EXPECT_EQ(rb.get("S", "B2", "value"), "");
}

TEST_F(XlsxWriterTest, LongStringsAreCutToTheCellLimit) {
  SheetBuilder b;
  b.text(0, 0, std::string(40000, 'x'));
  // Characters outside the BMP count twice toward Excel's limit.
  std::string emoji;
  for (int i = 0; i < 20000; ++i) emoji += "😀";
  b.text(1, 0, emoji);
  std::string fits = "a";
  for (int i = 0; i < 16383; ++i) fits += "😀";  // 1 + 2 * 16383 = 32767 units
  b.text(2, 0, fits);
  Readback rb = saveOne(b.done(), defaultStyles_);
  EXPECT_EQ(rb.get("S", "A1", "value"), std::string(32767, 'x'));
  std::string cut;
  for (int i = 0; i < 16383; ++i) cut += "😀";
  EXPECT_EQ(rb.get("S", "A2", "value"), cut);
  EXPECT_EQ(rb.get("S", "A3", "value"), fits);
}

// Each cached result keeps its own type, as a reader that does not recalculate sees it.
TEST_F(XlsxWriterTest, FormulasKeepTextAndCachedResultsOfTheirOwnType) {
  SheetBuilder b;
  b.number(0, 0, 2);
  b.number(1, 0, 3);
  b.formula(0, 1, "SUM(A1:A2)", CachedKind::Number, 5);
  b.formula(1, 1, "A1<A2", CachedKind::Bool, 1);
  b.formula(2, 1, "\"x\"&A1", CachedKind::String).cachedString = "x2";
  b.formula(3, 1, "1/0", CachedKind::Error).cachedError = static_cast<uint8_t>(ErrorCode::Div0);
  b.formula(4, 1, "NOW()", CachedKind::None);
  b.formula(5, 1, "A1>A2", CachedKind::Bool, 0);
  b.formula(6, 1, "NA()", CachedKind::Error).cachedError = static_cast<uint8_t>(ErrorCode::NA);
  b.formula(7, 1, "\"a\"&CHAR(13)&\"b\"", CachedKind::String).cachedString = "a\r\nb\rc";
  b.formula(8, 1, "0.1+0.2", CachedKind::Number, 0.1 + 0.2);
  Readback rb = saveOne(b.done(), defaultStyles_);

  struct Expect {
    const char* cell;
    const char* formula;
    const char* cachedType;
    const char* cached;
  };
  const Expect expected[] = {
      {"B1", "=SUM(A1:A2)", "n", "5.0"},
      {"B2", "=A1<A2", "b", "TRUE"},
      {"B3", "=\"x\"&A1", "s", "x2"},
      {"B4", "=1/0", "e", "#DIV/0!"},
      {"B5", "=NOW()", "n", kMissing},  // no cached value at all
      {"B6", "=A1>A2", "b", "FALSE"},
      {"B7", "=NA()", "e", "#N/A"},
      {"B8", "=\"a\"&CHAR(13)&\"b\"", "s", "a\r\nb\rc"},
      {"B9", "=0.1+0.2", "n", "0.30000000000000004"},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.cell);
    EXPECT_EQ(rb.get("S", e.cell, "type"), "f");
    EXPECT_EQ(rb.get("S", e.cell, "value"), e.formula);
    EXPECT_EQ(rb.get("S", e.cell, "cached.type"), e.cachedType);
    EXPECT_EQ(rb.get("S", e.cell, "cached"), e.cached);
  }
}

TEST_F(XlsxWriterTest, ArrayFormulasSpanTheirRangeAndKeepTheirCells) {
  Style bold;
  bold.bold = true;
  std::vector<Style> styles{Style{}, bold};
  SheetBuilder b;
  b.number(0, 0, 1);
  b.number(1, 0, 2);
  b.number(2, 0, 3);
  Formula& arr = b.formula(0, 1, "A1:A3*10", CachedKind::Number, 10, 1);
  arr.kind = FormulaKind::Array;
  arr.arrayRange = {0, 1, 2, 1};
  // The rest of the range holds the formula's results, stored as plain values.
  b.number(1, 1, 20);
  b.number(2, 1, 30);
  b.number(1, 2, 7);  // beside the range: an ordinary cell
  Formula& dyn = b.formula(4, 0, "_xlfn.SEQUENCE(2,2)", CachedKind::Number, 1);
  dyn.kind = FormulaKind::DynamicArray;
  dyn.arrayRange = {4, 0, 5, 1};
  b.number(4, 1, 2);
  b.number(5, 0, 3);
  b.number(5, 1, 4);
  b.number(5, 2, 99);
  // A one-cell array, and one whose range does not start at its cell (treated as one cell).
  b.formula(7, 0, "SUM(A1:A3*A1:A3)", CachedKind::Number, 14).kind = FormulaKind::Array;
  Formula& odd = b.formula(8, 0, "A1:A2", CachedKind::Number, 1);
  odd.kind = FormulaKind::Array;
  odd.arrayRange = {0, 0, 1, 0};
  Readback rb = saveOne(b.done(), styles);

  EXPECT_EQ(rb.get("S", "B1", "value"), "=A1:A3*10");
  EXPECT_EQ(rb.get("S", "B1", "array.ref"), "B1:B3");
  EXPECT_EQ(rb.get("S", "B1", "cached"), "10.0");
  EXPECT_EQ(rb.get("S", "B1", "font.b"), "1");
  EXPECT_NE(rb.get("S", "B2", "type"), "f");
  EXPECT_EQ(rb.get("S", "B2", "value"), "20.0");
  EXPECT_EQ(rb.get("S", "B3", "value"), "30.0");
  EXPECT_EQ(rb.get("S", "C2", "value"), "7.0");

  EXPECT_EQ(rb.get("S", "A5", "value"), "=_xlfn.SEQUENCE(2,2)");
  EXPECT_EQ(rb.get("S", "A5", "array.ref"), "A5:B6");
  EXPECT_EQ(rb.get("S", "A5", "cached"), "1.0");
  EXPECT_EQ(rb.get("S", "B6", "value"), "4.0");
  EXPECT_EQ(rb.get("S", "C6", "value"), "99.0");

  EXPECT_EQ(rb.get("S", "A8", "array.ref"), "A8");
  EXPECT_EQ(rb.get("S", "A8", "cached"), "14.0");
  EXPECT_EQ(rb.get("S", "A9", "array.ref"), "A9");
  EXPECT_EQ(rb.get("S", "A1", "value"), "1.0");  // not taken over by the odd range
}

// Array formulas whose text starts or ends with an inline array keep both braces.
TEST_F(XlsxWriterTest, ArrayFormulasKeepTheirInlineArrays) {
  SheetBuilder b;
  Formula& arr = b.formula(0, 0, "{2,3}*{4;5}", CachedKind::Number, 8);
  arr.kind = FormulaKind::Array;
  arr.arrayRange = {0, 0, 1, 1};
  b.number(0, 1, 12);
  b.number(1, 0, 10);
  b.number(1, 1, 15);
  b.formula(3, 0, "SUM({1,2})", CachedKind::Number, 3).kind = FormulaKind::Array;
  Formula& dyn = b.formula(4, 0, "{1,2}", CachedKind::Number, 1);
  dyn.kind = FormulaKind::DynamicArray;
  dyn.arrayRange = {4, 0, 4, 1};
  b.number(4, 1, 2);
  Readback rb = saveOne(b.done(), {Style{}});
  EXPECT_EQ(rb.get("S", "A1", "value"), "={2,3}*{4;5}");
  EXPECT_EQ(rb.get("S", "A1", "array.ref"), "A1:B2");
  EXPECT_EQ(rb.get("S", "A4", "value"), "=SUM({1,2})");
  EXPECT_EQ(rb.get("S", "A5", "value"), "={1,2}");
}

// One cell per style; checks each field as openpyxl reports it.
TEST_F(XlsxWriterTest, EveryFormatFieldRoundTrips) {
  std::vector<Style> styles(1);
  auto add = [&](auto change) {
    Style s;
    change(s);
    styles.push_back(s);
    return static_cast<uint32_t>(styles.size() - 1);
  };
  SheetBuilder b;
  uint32_t row = 0;
  auto cell = [&](uint32_t style) { b.number(row++, 0, 1.5, style); };

  cell(add([](Style& s) { s.numFmt = "0.00%"; }));                       // A1
  cell(add([](Style& s) { s.numFmt = "#,##0.00\\ \"€\";[Red]-#,##0.00"; }));  // A2
  cell(add([](Style& s) {                                                 // A3
    s.fontName = "Arial";
    s.fontSize = 14.5;
    s.bold = s.italic = s.strike = true;
    s.underline = Underline::Double;
    s.fontColor = 0x1F4E79;
  }));
  cell(add([](Style& s) { s.fontColor = 0x000000; }));                   // A4: black
  cell(add([](Style& s) { s.underline = Underline::SingleAccounting; }));  // A5
  cell(add([](Style& s) { s.underline = Underline::DoubleAccounting; }));  // A6
  cell(add([](Style& s) {                                                // A7
    s.pattern = FillPattern::Solid;
    s.fillFg = 0xFFC000;
    s.fillBg = 0x0000FF;
  }));
  cell(add([](Style& s) {                                                // A8
    s.pattern = FillPattern::Solid;
    s.fillFg = 0x00B050;
  }));
  cell(add([](Style& s) {                                                // A9
    s.pattern = FillPattern::DarkGrid;
    s.fillFg = 0xFF0000;
    s.fillBg = 0x00FF00;
  }));
  cell(add([](Style& s) { s.pattern = FillPattern::Gray125; }));          // A10
  cell(add([](Style& s) { s.fillFg = 0xFF0000; }));  // A11: colour without a pattern
  cell(add([](Style& s) {                                                // A12
    s.left = {BorderStyle::Thin, 0xFF0000};
    s.right = {BorderStyle::MediumDashDotDot, kAutoColor};
    s.top = {BorderStyle::Double, 0x000000};
    s.bottom = {BorderStyle::SlantDashDot, 0x0070C0};
  }));
  cell(add([](Style& s) {                                                // A13
    s.hAlign = HAlign::Center;
    s.vAlign = VAlign::Top;
    s.wrap = true;
  }));
  cell(add([](Style& s) {                                                // A14
    s.hAlign = HAlign::Right;
    s.indent = 3;
    s.vAlign = VAlign::Center;
  }));
  cell(add([](Style& s) { s.rotation = 45; }));                           // A15
  cell(add([](Style& s) { s.rotation = 135; }));  // A16: 45 degrees down
  cell(add([](Style& s) { s.rotation = 255; }));  // A17: vertical text
  cell(add([](Style& s) {                                                 // A18
    s.shrink = true;
    s.hAlign = HAlign::CenterContinuous;
    s.vAlign = VAlign::Distributed;
  }));
  cell(add([](Style& s) {                                                 // A19
    s.locked = false;
    s.hidden = true;
  }));
  cell(add([](Style& s) { s.hAlign = HAlign::Distributed; }));            // A20

  Readback rb = saveOne(b.done(), styles);
  auto at = [&](int r, const std::string& key) {
    return rb.get("S", "A" + std::to_string(r), key);
  };

  EXPECT_EQ(at(1, "numfmt"), "0.00%");
  EXPECT_EQ(at(2, "numfmt"), "#,##0.00\\ \"€\";[Red]-#,##0.00");
  EXPECT_EQ(at(3, "font.name"), "Arial");
  EXPECT_EQ(at(3, "font.size"), "14.5");
  EXPECT_EQ(at(3, "font.b"), "1");
  EXPECT_EQ(at(3, "font.i"), "1");
  EXPECT_EQ(at(3, "font.strike"), "1");
  EXPECT_EQ(at(3, "font.u"), "double");
  EXPECT_EQ(at(3, "font.color"), "FF1F4E79");
  EXPECT_EQ(at(4, "font.color"), "FF000000");
  EXPECT_EQ(at(4, "font.b"), "0");
  EXPECT_EQ(at(5, "font.u"), "singleAccounting");
  EXPECT_EQ(at(6, "font.u"), "doubleAccounting");

  EXPECT_EQ(at(7, "fill.pattern"), "solid");
  EXPECT_EQ(at(7, "fill.fg"), "FFFFC000");
  EXPECT_EQ(at(7, "fill.bg"), "FF0000FF");
  EXPECT_EQ(at(8, "fill.pattern"), "solid");
  EXPECT_EQ(at(8, "fill.fg"), "FF00B050");
  EXPECT_EQ(at(9, "fill.pattern"), "darkGrid");
  EXPECT_EQ(at(9, "fill.fg"), "FFFF0000");
  EXPECT_EQ(at(9, "fill.bg"), "FF00FF00");
  EXPECT_EQ(at(10, "fill.pattern"), "gray125");
  EXPECT_EQ(at(11, "fill.pattern"), "none");

  EXPECT_EQ(at(12, "border.left"), "thin");
  EXPECT_EQ(at(12, "border.left.color"), "FFFF0000");
  EXPECT_EQ(at(12, "border.right"), "mediumDashDotDot");
  EXPECT_EQ(at(12, "border.right.color"), "auto");
  EXPECT_EQ(at(12, "border.top"), "double");
  EXPECT_EQ(at(12, "border.top.color"), "FF000000");
  EXPECT_EQ(at(12, "border.bottom"), "slantDashDot");
  EXPECT_EQ(at(12, "border.bottom.color"), "FF0070C0");

  EXPECT_EQ(at(13, "align.h"), "center");
  EXPECT_EQ(at(13, "align.v"), "top");
  EXPECT_EQ(at(13, "align.wrap"), "1");
  EXPECT_EQ(at(14, "align.h"), "right");
  EXPECT_EQ(at(14, "align.indent"), "3");
  EXPECT_EQ(at(14, "align.v"), "center");
  EXPECT_EQ(at(15, "align.rotation"), "45");
  EXPECT_EQ(at(16, "align.rotation"), "135");
  EXPECT_EQ(at(17, "align.rotation"), "255");
  EXPECT_EQ(at(18, "align.shrink"), "1");
  EXPECT_EQ(at(18, "align.h"), "centerContinuous");
  EXPECT_EQ(at(18, "align.v"), "distributed");
  EXPECT_EQ(at(19, "prot.locked"), "0");
  EXPECT_EQ(at(19, "prot.hidden"), "1");
  EXPECT_EQ(at(20, "align.h"), "distributed");

  // Fields a style leaves alone stay at their defaults.
  EXPECT_EQ(at(1, "font.name"), "Calibri");
  EXPECT_EQ(at(1, "font.size"), "11.0");
  EXPECT_EQ(at(1, "fill.pattern"), "none");
  EXPECT_EQ(at(1, "border.left"), "none");
  EXPECT_EQ(at(1, "align.h"), "general");
  EXPECT_EQ(at(1, "prot.locked"), "1");
  EXPECT_EQ(at(3, "numfmt"), "General");
}

// Codes and names of any length, where libxlsxwriter stopped at 127 bytes.
TEST_F(XlsxWriterTest, LongNumberFormatsAndFontNamesAreKept) {
  Style s;
  s.numFmt = "[Blue]#,##0.00\\ \"" + std::string(150, 'x') + "\";[Red]-0.00";
  s.fontName = "Font " + std::string(140, 'n');
  std::vector<Style> styles{Style{}, s};
  SheetBuilder b;
  b.number(0, 0, 1, 1);
  Readback rb = saveOne(b.done(), styles);
  EXPECT_EQ(rb.get("S", "A1", "numfmt"), s.numFmt);
  EXPECT_EQ(rb.get("S", "A1", "font.name"), s.fontName);
}

TEST_F(XlsxWriterTest, TheTablesFirstStyleIsWrittenWhenItIsNotTheDefault) {
  Style arial;
  arial.fontName = "Arial";
  arial.fontSize = 10;
  Style arialBold = arial;
  arialBold.bold = true;
  std::vector<Style> arialTable{arial, arialBold};

  SheetBuilder b;
  b.number(0, 0, 1, 0);
  b.number(0, 1, 2, 1);
  SheetData arialSheet = b.done();
  SheetBuilder plain;
  plain.number(0, 0, 1, 0);
  SheetData defaultSheet = plain.done();

  std::string path = file("defaults.xlsx");
  SaveXlsx(path, {{"Arial", &arialSheet, &arialTable},
                  {"Default", &defaultSheet, &defaultStyles_}});
  Readback rb = ReadBack(path);
  EXPECT_EQ(rb.get("Arial", "A1", "font.name"), "Arial");
  EXPECT_EQ(rb.get("Arial", "A1", "font.size"), "10.0");
  EXPECT_EQ(rb.get("Arial", "A1", "font.b"), "0");
  EXPECT_EQ(rb.get("Arial", "B1", "font.b"), "1");
  EXPECT_EQ(rb.get("Default", "A1", "font.name"), "Calibri");
  EXPECT_EQ(rb.get("Default", "A1", "font.size"), "11.0");
  EXPECT_EQ(rb.get("Default", "A1", "font.color"), "theme:1");
}

TEST_F(XlsxWriterTest, EachSheetUsesItsOwnStyleTable) {
  Style red;
  red.fontColor = 0xFF0000;
  Style green;
  green.fontColor = 0x00FF00;
  std::vector<Style> first{Style{}, red};
  std::vector<Style> second{Style{}, green};
  SheetBuilder a;
  a.number(0, 0, 1, 1);
  SheetData one = a.done();
  SheetBuilder b;
  b.number(0, 0, 1, 1);
  SheetData two = b.done();

  std::string path = file("tables.xlsx");
  SaveXlsx(path, {{"First", &one, &first}, {"Second", &two, &second}});
  Readback rb = ReadBack(path);
  EXPECT_EQ(rb.get("First", "A1", "font.color"), "FFFF0000");
  EXPECT_EQ(rb.get("Second", "A1", "font.color"), "FF00FF00");
}

TEST_F(XlsxWriterTest, MergedRangesKeepTheirCellsContentAndFormats) {
  Style bold;
  bold.bold = true;
  bold.top = {BorderStyle::Medium, kAutoColor};
  std::vector<Style> styles{Style{}, bold};
  SheetBuilder b;
  b.text(0, 0, "title", 1);
  b.number(2, 0, 5);
  b.number(3, 3, 8);
  SheetData d = b.done();
  d.merges = {{5, 0, 6, 1}, {0, 0, 1, 2}, {2, 0, 2, 1}, {3, 3, 3, 3} /* one cell: not a merge */};

  Readback rb = saveOne(d, styles);
  std::vector<std::string> expected{"A1:C2", "A3:B3", "A6:B7"};
  EXPECT_EQ(rb.merges["S"], expected);
  EXPECT_EQ(rb.get("S", "A1", "value"), "title");
  EXPECT_EQ(rb.get("S", "A1", "font.b"), "1");
  EXPECT_EQ(rb.get("S", "A1", "border.top"), "medium");
  EXPECT_EQ(rb.get("S", "A3", "value"), "5.0");
  EXPECT_EQ(rb.get("S", "D4", "value"), "8.0");
}

TEST_F(XlsxWriterTest, HyperlinksKeepTheCellsTheyPointFrom) {
  Style oneDecimal;
  oneDecimal.numFmt = "0.0";
  std::vector<Style> styles{Style{}, oneDecimal};
  SheetBuilder b;
  b.number(0, 0, 42, 1);
  b.text(1, 0, "go to Data");
  b.text(2, 0, "long");
  b.number(5, 5, 1);
  SheetData d = b.done();
  Hyperlink external;
  external.row = 0;
  external.col = 0;
  external.target = "https://example.com/a?b=c";
  external.tooltip = "Example";
  Hyperlink internal;
  internal.row = 1;
  internal.col = 0;
  internal.location = "Data!B2";
  Hyperlink longOne;  // longer than libxlsxwriter took
  longOne.row = 2;
  longOne.col = 0;
  longOne.target = "https://example.com/" + std::string(3000, 'a');
  Hyperlink onEmpty;
  onEmpty.row = 3;
  onEmpty.col = 1;
  onEmpty.target = "mailto:someone@example.com";
  Hyperlink range;
  range.row = 6;
  range.col = 0;
  range.rows = 2;
  range.cols = 2;
  range.location = "S!A1";
  Hyperlink intoFile;
  intoFile.row = 9;
  intoFile.col = 0;
  intoFile.target = "other.xlsx";
  intoFile.location = "Sheet1!B2";
  Hyperlink tipOnly;  // neither target nor location: kept for its tip
  tipOnly.row = 11;
  tipOnly.col = 0;
  tipOnly.tooltip = "just a tip";
  d.links = {external, internal, longOne, onEmpty, range, intoFile, tipOnly};

  Readback rb = saveOne(d, styles);
  EXPECT_EQ(rb.get("S", "A1", "type"), "n");
  EXPECT_EQ(rb.get("S", "A1", "value"), "42.0");
  EXPECT_EQ(rb.get("S", "A1", "numfmt"), "0.0");
  EXPECT_EQ(rb.get("S", "A1", "font.u"), "none");  // not turned into the hyperlink style
  EXPECT_EQ(rb.get("S", "A1", "link.target"), "https://example.com/a?b=c");
  EXPECT_EQ(rb.get("S", "A1", "link.tooltip"), "Example");

  EXPECT_EQ(rb.get("S", "A2", "value"), "go to Data");
  EXPECT_EQ(rb.get("S", "A2", "link.location"), "Data!B2");
  EXPECT_EQ(rb.get("S", "A2", "link.target"), kMissing);

  EXPECT_EQ(rb.get("S", "A3", "value"), "long");
  EXPECT_EQ(rb.get("S", "A3", "link.target"), longOne.target);

  // (openpyxl itself puts the target into a linked cell that has no value.)
  EXPECT_EQ(rb.get("S", "B4", "link.target"), "mailto:someone@example.com");
  EXPECT_EQ(rb.get("S", "B4", "font.u"), "none");

  for (const char* c : {"A7", "B7", "A8", "B8"}) {
    SCOPED_TRACE(c);
    EXPECT_EQ(rb.get("S", c, "link.location"), "S!A1");
  }
  EXPECT_EQ(rb.get("S", "F6", "value"), "1.0");
  EXPECT_EQ(rb.get("S", "A10", "link.target"), "other.xlsx");
  EXPECT_EQ(rb.get("S", "A10", "link.location"), "Sheet1!B2");
  EXPECT_EQ(rb.get("S", "A12", "link.tooltip"), "just a tip");
}

TEST_F(XlsxWriterTest, ALinkThatLeadsNowhereKeepsItsTip) {
  SheetBuilder b;
  b.text(0, 0, "hover me");
  SheetData d = b.done();
  Hyperlink tipOnly;
  tipOnly.tooltip = "explains the cell";
  tipOnly.display = "hover me";
  d.links = {tipOnly};
  Readback rb = saveOne(d, defaultStyles_);
  EXPECT_EQ(rb.get("S", "A1", "value"), "hover me");
  EXPECT_EQ(rb.get("S", "A1", "link.tooltip"), "explains the cell");
  EXPECT_EQ(rb.get("S", "A1", "link.target"), kMissing);
  EXPECT_EQ(rb.get("S", "A1", "link.display"), "hover me");
}

TEST_F(XlsxWriterTest, CommentsKeepTextAndAuthor) {
  SheetBuilder b;
  b.number(0, 0, 1);
  b.number(4, 0, 2);
  SheetData d = b.done();
  d.comments = {{0, 0, "Ann", "checked\nby hand"}, {2, 3, "", "on an empty cell"}};
  Readback rb = saveOne(d, defaultStyles_);
  EXPECT_EQ(rb.get("S", "A1", "value"), "1.0");
  EXPECT_EQ(rb.get("S", "A1", "comment.text"), "checked\nby hand");
  EXPECT_EQ(rb.get("S", "A1", "comment.author"), "Ann");
  EXPECT_EQ(rb.get("S", "D3", "comment.text"), "on an empty cell");
  EXPECT_EQ(rb.get("S", "A5", "value"), "2.0");
}

TEST_F(XlsxWriterTest, SheetsAreWrittenInOrderIncludingEmptyOnes) {
  SheetBuilder a;
  a.text(0, 0, "first");
  SheetData first = a.done();
  SheetData empty;
  SheetBuilder c;
  c.number(9, 3, 3);
  SheetData third = c.done();
  std::string path = file("three.xlsx");
  SaveXlsx(path, {{"Alpha", &first, &defaultStyles_},
                  {"Empty", &empty, &defaultStyles_},
                  {"No data", nullptr, nullptr},
                  {"Gamma's", &third, &defaultStyles_}});
  Readback rb = ReadBack(path);
  std::vector<std::string> names{"Alpha", "Empty", "No data", "Gamma's"};
  EXPECT_EQ(rb.sheets, names);
  EXPECT_EQ(rb.get("Alpha", "A1", "value"), "first");
  EXPECT_EQ(rb.cellCount("Alpha"), 1);
  EXPECT_EQ(rb.cellCount("Empty"), 0);
  EXPECT_EQ(rb.cellCount("No data"), 0);
  EXPECT_EQ(rb.get("Gamma's", "D10", "value"), "3.0");
  EXPECT_EQ(rb.cellCount("Gamma's"), 1);
}

TEST_F(XlsxWriterTest, UnsortedCellsAreWrittenAll) {
  SheetBuilder b;
  b.number(5, 0, 6);
  b.number(0, 2, 3);
  b.text(0, 0, "a");
  b.number(2, 1, 1);
  SheetData d = b.done(/*sort=*/false);
  d.sorted = false;
  d.comments = {{1, 0, "", "between"}};
  Readback rb = saveOne(d, defaultStyles_);
  EXPECT_EQ(rb.get("S", "A6", "value"), "6.0");
  EXPECT_EQ(rb.get("S", "C1", "value"), "3.0");
  EXPECT_EQ(rb.get("S", "A1", "value"), "a");
  EXPECT_EQ(rb.get("S", "B3", "value"), "1.0");
  EXPECT_EQ(rb.get("S", "A2", "comment.text"), "between");
}

TEST_F(XlsxWriterTest, AnExistingFileIsReplacedAndNoTemporaryIsLeft) {
  std::string path = file("out.xlsx");
  {
    std::ofstream old(path);
    old << "not a workbook";
  }
  SheetBuilder b;
  b.text(0, 0, "new");
  SheetData d = b.done();
  SaveXlsx(path, {{"S", &d, &defaultStyles_}});
  EXPECT_EQ(ReadBack(path).get("S", "A1", "value"), "new");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_.path())) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"out.xlsx"});
}

TEST_F(XlsxWriterTest, FailuresNameTheFile) {
  SheetData d;
  std::string missing = file("no such folder/out.xlsx");
  std::string why = test::FailureOf<AutomationError>([&] { SaveXlsx(missing, {{"S", &d, &defaultStyles_}}); });
  EXPECT_NE(why.find(missing), std::string::npos) << why;
  EXPECT_NE(why.find("does not exist"), std::string::npos) << why;
  EXPECT_FALSE(fs::exists(file("no such folder")));

  // A folder where the file should go.
  fs::create_directory(file("taken.xlsx"));
  why = test::FailureOf<AutomationError>([&] { SaveXlsx(file("taken.xlsx"), {{"S", &d, &defaultStyles_}}); });
  EXPECT_NE(why.find(file("taken.xlsx")), std::string::npos) << why;

  // Sheet names the spreadsheet refuses leave nothing behind either.
  for (const char* second : {"s", "a/b", "", "'quoted'", "a name longer than thirty-one chars"}) {
    SCOPED_TRACE(second);
    std::string dup = file("dup.xlsx");
    EXPECT_THROW(SaveXlsx(dup, {{"S", &d, &defaultStyles_}, {second, &d, &defaultStyles_}}),
                 AutomationError);
    EXPECT_FALSE(fs::exists(dup));
  }
}

}  // namespace
}  // namespace corvane
