// Values saved and read back through the engine's own .xlsx reader, exactly: every double
// bit for bit, text the XML cannot carry as it is, and each value and cached result with
// its own type.
#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/automation/workbook_open.h"
#include "engine/core/cellref.h"
#include "engine/writing/xlsx_writer.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsx_readback.h"

namespace corvane {
namespace {

using test::SheetBuilder;

std::shared_ptr<SheetData> SaveAndLoad(const std::string& path, const SheetData& d) {
  static const std::vector<Style> kStyles{Style{}};
  SaveXlsx(path, {{"S", &d, &kStyles}});
  return OpenWorkbookFile(path)->loadSheet(0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<double> Doubles(size_t n) {
  std::vector<double> v = {0.0,     -0.0,     1e308,   -1e308, DBL_MAX, -DBL_MAX, DBL_MIN,
                           -DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN, 0.1 + 0.2, 1.0 / 3, 9007199254740993.0,
                           2.2250738585072009e-308 /* the largest subnormal */};
  std::mt19937_64 rng(2024);
  while (v.size() < n) {
    uint64_t bits = rng();
    switch (v.size() % 4) {
      case 0: bits &= 0x800FFFFFFFFFFFFFull; break;  // subnormals
      case 1: bits = (bits & 0x800FFFFFFFFFFFFFull) | (uint64_t{1023 + bits % 40} << 52); break;
      default: break;
    }
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) v.push_back(d);
  }
  return v;
}

TEST(XlsxValues, AMillionDoublesReadBackBitForBit) {
  test::TempDir dir;
  const std::vector<double> values = Doubles(1000000);
  SheetBuilder b;
  for (size_t i = 0; i < values.size(); ++i)
    b.number(static_cast<uint32_t>(i / 1000), static_cast<uint16_t>(i % 1000), values[i]);
  auto back = SaveAndLoad((dir / "doubles.xlsx").string(), b.done());
  ASSERT_EQ(back->cells.size(), values.size());
  size_t wrong = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    const Cell& c = back->cells[i];
    if (c.type != CellType::Number || !SameBits(c.num, values[i])) {
      if (++wrong <= 5) ADD_FAILURE() << "cell " << i << ": wrote " << values[i] << ", read " << c.num;
    }
  }
  EXPECT_EQ(wrong, 0u);
}

// A sample through openpyxl, which reads numbers with Python's float().
TEST(XlsxValues, DoublesReadBackThroughOpenpyxl) {
  test::TempDir dir;
  const std::vector<double> values = Doubles(3000);
  SheetBuilder b;
  for (size_t i = 0; i < values.size(); ++i)
    b.number(static_cast<uint32_t>(i / 100), static_cast<uint16_t>(i % 100), values[i]);
  std::string path = (dir / "sample.xlsx").string();
  static const std::vector<Style> kStyles{Style{}};
  SheetData d = b.done();
  SaveXlsx(path, {{"S", &d, &kStyles}});
  test::Readback rb = test::ReadBack(path);
  for (size_t i = 0; i < values.size(); ++i) {
    std::string cell = ColumnName(static_cast<int32_t>(i % 100)) + std::to_string(i / 100 + 1);
    std::string text = rb.get("S", cell, "value");
    double v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    // openpyxl reads "-0" as the integer 0: the sign is lost there, not in the file.
    bool same = values[i] == 0 ? v == 0 : SameBits(v, values[i]);
    ASSERT_TRUE(r.ec == std::errc() && same)
        << cell << ": wrote " << values[i] << ", openpyxl read " << text;
  }
}

TEST(XlsxValues, TextXmlCannotCarryComesBackAsItWas) {
  test::TempDir dir;
  struct Case {
    std::string written, read;
  };
  const Case cases[] = {
      {"_x000D_", "_x000D_"},             // looks like an escape: stays a literal
      {"A_x0030_B", "A_x0030_B"},
      {"ctl\x01\x02\x1F" "end", "ctl\x01\x02\x1F" "end"},  // controls travel as escapes
      {"cr\r\nlf\rend", "cr\r\nlf\rend"},
      {"bad\xFF\xFE" "bytes", "bad\xEF\xBF\xBD\xEF\xBF\xBD" "bytes"},  // no UTF-8: U+FFFD
      {"  edges  ", "  edges  "},
      {"😀 and 日本", "😀 and 日本"},
      {"", ""},
  };
  SheetBuilder b;
  for (size_t i = 0; i < std::size(cases); ++i) {
    b.text(static_cast<uint32_t>(i), 0, cases[i].written);
    b.formula(static_cast<uint32_t>(i), 1, "T(A1)", CachedKind::String).cachedString = cases[i].written;
  }
  SheetData d = b.done();
  for (size_t i = 0; i < std::size(cases); ++i)
    d.comments.push_back({static_cast<int32_t>(i), 2, "author", cases[i].written.empty() ? "x" : cases[i].written});
  auto back = SaveAndLoad((dir / "text.xlsx").string(), d);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const Cell* text = back->find(static_cast<int32_t>(i), 0);
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(text->type, CellType::String);
    EXPECT_EQ(back->str(*text), cases[i].read);
    const Cell* formula = back->find(static_cast<int32_t>(i), 1);
    ASSERT_NE(formula, nullptr);
    ASSERT_EQ(formula->type, CellType::Formula);
    EXPECT_EQ(static_cast<CachedKind>(formula->sub), CachedKind::String);
    EXPECT_EQ(back->formulas[formula->aux].cachedString, cases[i].read);
  }
  ASSERT_EQ(back->comments.size(), std::size(cases));
  for (size_t i = 0; i + 1 < std::size(cases); ++i) EXPECT_EQ(back->comments[i].text, cases[i].read);
}

TEST(XlsxValues, EveryValueAndCachedResultKeepsItsType) {
  test::TempDir dir;
  SheetBuilder b;
  b.boolean(0, 0, true);
  b.boolean(0, 1, false);
  b.error(0, 2, ErrorCode::Div0);
  b.error(0, 3, ErrorCode::NA);
  b.formula(1, 0, "A1", CachedKind::Bool, 1);
  b.formula(1, 1, "C1", CachedKind::Error).cachedError = static_cast<uint8_t>(ErrorCode::Div0);
  b.formula(1, 2, "\"t\"", CachedKind::String).cachedString = "t";
  b.formula(1, 3, "1+1", CachedKind::Number, 2);
  Formula& arr = b.formula(2, 0, "C1:D1", CachedKind::Error);
  arr.kind = FormulaKind::Array;
  arr.arrayRange = {2, 0, 2, 1};
  arr.cachedError = static_cast<uint8_t>(ErrorCode::Div0);
  b.error(2, 1, ErrorCode::NA);
  Formula& textArr = b.formula(3, 0, "UPPER(A5:A6)", CachedKind::String);
  textArr.kind = FormulaKind::DynamicArray;
  textArr.arrayRange = {3, 0, 4, 0};
  textArr.cachedString = "ONE";
  b.text(4, 0, "TWO");
  auto back = SaveAndLoad((dir / "types.xlsx").string(), b.done());

  auto at = [&](int32_t r, int32_t c) {
    const Cell* cell = back->find(r, c);
    EXPECT_NE(cell, nullptr) << r << "," << c;
    return cell ? *cell : Cell{};
  };
  EXPECT_EQ(at(0, 0).type, CellType::Bool);
  EXPECT_EQ(at(0, 0).num, 1);
  EXPECT_EQ(at(0, 1).type, CellType::Bool);
  EXPECT_EQ(at(0, 1).num, 0);
  EXPECT_EQ(at(0, 2).type, CellType::Error);
  EXPECT_EQ(at(0, 2).sub, static_cast<uint8_t>(ErrorCode::Div0));
  EXPECT_EQ(at(0, 3).sub, static_cast<uint8_t>(ErrorCode::NA));
  const CachedKind kinds[] = {CachedKind::Bool, CachedKind::Error, CachedKind::String, CachedKind::Number};
  for (int32_t c = 0; c < 4; ++c) {
    EXPECT_EQ(at(1, c).type, CellType::Formula) << c;
    EXPECT_EQ(static_cast<CachedKind>(at(1, c).sub), kinds[c]) << c;
  }
  const Cell array = at(2, 0);
  ASSERT_EQ(array.type, CellType::Formula);
  EXPECT_EQ(back->formulas[array.aux].kind, FormulaKind::Array);
  EXPECT_EQ(static_cast<CachedKind>(array.sub), CachedKind::Error);
  EXPECT_EQ(back->formulas[array.aux].cachedError, static_cast<uint8_t>(ErrorCode::Div0));
  EXPECT_EQ(at(2, 1).type, CellType::Error);
  const Cell dynamic = at(3, 0);
  ASSERT_EQ(dynamic.type, CellType::Formula);
  EXPECT_EQ(back->formulas[dynamic.aux].kind, FormulaKind::DynamicArray);
  EXPECT_EQ(back->formulas[dynamic.aux].cachedString, "ONE");
  EXPECT_EQ(back->formulas[dynamic.aux].arrayRange, (Rect{3, 0, 4, 0}));
}

}  // namespace
}  // namespace corvane
