// Numbers read from and written to workbook text, and the text escapes of .xlsx parts:
// the same under every locale (these tests also run under a German one).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "engine/automation/workbook_open.h"
#include "engine/core/error.h"
#include "engine/core/number_text.h"
#include "engine/core/unicode.h"
#include "engine/xlsx/xlsx_reader.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

TEST(NumberText, CellTextReadsAsSpreadsheetsReadIt) {
  const double kMinSubnormal = std::nextafter(0.0, 1.0);
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"12", 12},
      {"-3.25", -3.25},
      {" 1.5\n", 1.5},
      {"+7", 7},
      {"1e3", 1000},
      {".5", 0.5},
      {"0.1", 0.1},
      {"1234567890123456789", 1234567890123456789.0},
      {"2.2250738585072014E-308", DBL_MIN},
      // Just beyond the range: the largest double of its sign (xlsxwriter writes DBL_MAX so).
      {"1.797693134862316E+308", DBL_MAX},
      {"-1.797693134862316E+308", -DBL_MAX},
      {"1e400", DBL_MAX},
      {"-123456789e99999999999", -DBL_MAX},
      // Below the smallest subnormal: zero.
      {"2e-324", 0},
      {"-1e-400", 0},
      {"0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "000000000000000000000000000001",
       0},
      {"4.9406564584124654E-324", kMinSubnormal},
  };
  for (const Case& c : cases) {
    double v = -42;
    EXPECT_TRUE(ParseNumberText(c.text, v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  for (const char* bad : {"", " ", "inf", "-inf", "nan", "0x10", "1,5", "1.5.", "1e", "--1", "+-1", "e5", ".", "1 2"}) {
    double v = -42;
    EXPECT_FALSE(ParseNumberText(bad, v)) << '"' << bad << '"';
  }
}

TEST(NumberText, FormulaConstantsAreTheShortestExactDigits) {
  auto text = [](double v) {
    std::string s;
    AppendFormulaNumber(s, v);
    return s;
  };
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {3, "3"},
      {-0.5, "-0.5"},
      {1.0 / 3, "0.3333333333333333"},
      {16763386.88, "16763386.88"},
      {0.1 + 0.2, "0.30000000000000004"},
      {123456.789, "123456.789"},
      {1e15, "1E+15"},
      {1e20, "1E+20"},
      {-2.5e-11, "-2.5E-11"},
      {1.5e-5, "0.000015"},
      {1e-10, "0.0000000001"},
      {DBL_MAX, "1.7976931348623157E+308"},
      {NAN, "#NUM!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text(c.value), c.text);
    double back = 0;
    if (std::isfinite(c.value)) {
      EXPECT_TRUE(ParseNumberText(text(c.value), back) && back == c.value) << c.text;
    }
  }
}

TEST(NumberText, XlsxCellsJustBeyondTheRangeAreRead) {
  test::TempDir tmp;
  auto path = tmp / "edge.xlsx";
  test::WriteWorkbook(path, {{"S",
                              "<sheetData><row r=\"1\">"
                              "<c r=\"A1\"><v>1.797693134862316E+308</v></c>"
                              "<c r=\"B1\"><v>-1.797693134862316E+308</v></c>"
                              "<c r=\"C1\"><v>1E-400</v></c>"
                              "<c r=\"D1\"><f>A1</f><v>1.797693134862316E+308</v></c>"
                              "</row></sheetData>"}});
  auto d = OpenWorkbookFile(path.string())->loadSheet(0);
  ASSERT_EQ(d->cells.size(), 4u);
  EXPECT_EQ(d->find(0, 0)->num, DBL_MAX);
  EXPECT_EQ(d->find(0, 1)->num, -DBL_MAX);
  EXPECT_EQ(d->find(0, 2)->num, 0);
  EXPECT_EQ(d->find(0, 3)->num, DBL_MAX);

  test::WriteWorkbook(path, {{"S", "<sheetData><row r=\"1\"><c r=\"A1\"><v>1,5</v></c></row></sheetData>"}});
  EXPECT_THROW(OpenWorkbookFile(path.string())->loadSheet(0), AutomationError);
}

// _xHHHH_ escapes are UTF-16 code units: a surrogate pair is one character, a lone
// surrogate U+FFFD; everything that comes out is valid UTF-8.
TEST(OoxmlEscapes, SurrogatePairsMakeOneCharacter) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"_xD83D__xDE00_", "\xF0\x9F\x98\x80"},                // 😀
      {"a_xD83D__xDE00_b_x0041_", "a\xF0\x9F\x98\x80" "bA"},
      {"_xD83D_", "\xEF\xBF\xBD"},                          // a high surrogate alone
      {"_xDE00_", "\xEF\xBF\xBD"},                          // a low surrogate alone
      {"_xD83D_x_xDE00_", "\xEF\xBF\xBDx\xEF\xBF\xBD"},     // parted by a character
      {"_xD83D__xD83D__xDE00_", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"_x005F_x0041_", "_x0041_"},                         // an escaped underscore
      {"_x00e9_", "\xC3\xA9"},
      {"_xlfn._x12_", "_xlfn._x12_"},                       // no escape at all
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    DecodeOoxmlEscapes(s);
    EXPECT_EQ(s, c.out) << c.in;
  }
}

TEST(OoxmlEscapes, EveryTextOfASheetIsDecoded) {
  test::TempDir tmp;
  auto path = tmp / "esc.xlsx";
  const std::string smile = "\xF0\x9F\x98\x80";
  test::WriteWorkbook(path, {{"S",
                              "<sheetData><row r=\"1\">"
                              "<c r=\"A1\" t=\"s\"><v>0</v></c>"
                              "<c r=\"B1\" t=\"inlineStr\"><is><t>_xD83D__xDE00_</t></is></c>"
                              "<c r=\"C1\" t=\"str\"><f>A1</f><v>_xD83D__xDE00_</v></c>"
                              "<c r=\"D1\" t=\"str\"><v>_xD83D__xDE00_</v></c>"
                              "</row></sheetData>"}},
                      "<si><t>_xD83D__xDE00_</t></si>");
  auto d = OpenWorkbookFile(path.string())->loadSheet(0);
  ASSERT_EQ(d->cells.size(), 4u);
  EXPECT_EQ(d->str(*d->find(0, 0)), smile);
  EXPECT_EQ(d->str(*d->find(0, 1)), smile);
  EXPECT_EQ(d->str(*d->find(0, 3)), smile);
  const Cell* f = d->find(0, 2);
  ASSERT_EQ(f->type, CellType::Formula);
  EXPECT_EQ(d->formulas[f->aux].cachedString, smile);
}

TEST(Unicode, Utf16PairsAcrossPiecesAndLoneSurrogates) {
  std::string out;
  Utf16Decoder d;
  for (uint32_t unit : {0x41u, 0xD83Du}) d.put(out, unit);
  d.put(out, 0xDE00);  // the pair's second half in the next piece
  d.put(out, 0xDC00);
  d.put(out, 0xD800);
  d.finish(out);
  EXPECT_EQ(out, "A\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace corvane
