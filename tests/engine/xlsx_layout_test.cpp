// Gradient fills, diagonal borders, and rows' and columns' heights, widths, visibility and
// formats, saved and read back by openpyxl as they were written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/writing/xlsx_writer.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsx_readback.h"

namespace corvane {
namespace {

using test::kMissing;

test::Readback Save(const SheetData& d, const std::vector<Style>& styles) {
  static test::TempDir dir;
  std::string path = (dir / "layout.xlsx").string();
  SaveXlsx(path, {{"S", &d, &styles}});
  return test::ReadBack(path);
}

TEST(XlsxLayout, GradientFillsAndDiagonalBordersReadBack) {
  std::vector<Style> styles(1);
  Style linear;
  linear.gradient.degree = 90;
  linear.gradient.stops = {{0, 0xFF0000}, {0.5, 0xFFFFFF}, {1, 0x0000FF}};
  Style path;
  path.gradient.type = Gradient::Type::Path;
  path.gradient.left = path.gradient.right = 0.25;
  path.gradient.top = path.gradient.bottom = 0.5;
  path.gradient.stops = {{0, 0x00B050}, {1, 0xFFC000}};
  Style up, down, both;
  up.diagonal = {BorderStyle::Thin, 0xFF0000};
  up.diagonalUp = true;
  down.diagonal = {BorderStyle::Dashed, kAutoColor};
  down.diagonalDown = true;
  both.diagonal = {BorderStyle::Double, 0x0070C0};
  both.diagonalUp = both.diagonalDown = true;
  both.left = {BorderStyle::Medium, 0x000000};
  styles.insert(styles.end(), {linear, path, up, down, both});
  test::SheetBuilder b;
  for (uint32_t i = 1; i < styles.size(); ++i) b.number(i - 1, 0, i, i);
  test::Readback rb = Save(b.done(), styles);

  EXPECT_EQ(rb.get("S", "A1", "fill.pattern"), "gradient");
  EXPECT_EQ(rb.get("S", "A1", "fill.gradient"), "linear");
  EXPECT_EQ(rb.get("S", "A1", "fill.gradient.degree"), "90.0");
  EXPECT_EQ(rb.get("S", "A1", "fill.gradient.stops"), "FFFF0000@0.0 FFFFFFFF@0.5 FF0000FF@1.0");
  EXPECT_EQ(rb.get("S", "A2", "fill.gradient"), "path");
  EXPECT_EQ(rb.get("S", "A2", "fill.gradient.box"), "0.25 0.25 0.5 0.5");
  EXPECT_EQ(rb.get("S", "A2", "fill.gradient.stops"), "FF00B050@0.0 FFFFC000@1.0");

  struct Diagonal {
    const char *cell, *style, *color, *up, *down;
  };
  for (const Diagonal& d : {Diagonal{"A3", "thin", "FFFF0000", "1", "0"},
                            Diagonal{"A4", "dashed", "auto", "0", "1"},
                            Diagonal{"A5", "double", "FF0070C0", "1", "1"}}) {
    SCOPED_TRACE(d.cell);
    EXPECT_EQ(rb.get("S", d.cell, "border.diagonal"), d.style);
    EXPECT_EQ(rb.get("S", d.cell, "border.diagonal.color"), d.color);
    EXPECT_EQ(rb.get("S", d.cell, "border.diagonal.up"), d.up);
    EXPECT_EQ(rb.get("S", d.cell, "border.diagonal.down"), d.down);
  }
  EXPECT_EQ(rb.get("S", "A5", "border.left"), "medium");
  EXPECT_EQ(rb.get("S", "A1", "border.diagonal"), kMissing);
}

TEST(XlsxLayout, RowsAndColumnsKeepTheirSizesVisibilityAndFormats) {
  Style band;
  band.pattern = FillPattern::Solid;
  band.fillFg = 0xDDEEFF;
  band.bold = true;
  Style money;
  money.numFmt = "#,##0.00";
  money.bottom = {BorderStyle::Thin, kAutoColor};
  std::vector<Style> styles{Style{}, band, money};
  test::SheetBuilder b;
  b.number(0, 0, 1);
  b.number(2, 1, 2);  // in the formatted row, with a format of its own (the default)
  b.blank(2, 3, 0);   // an empty position of that row that keeps the default format
  b.number(6, 4, 3, 2);
  SheetData d = b.done();
  d.rowInfo = {{1, 30, false, false, 0},   // taller, empty
               {2, -1, false, true, 1},    // a band of colour
               {4, 12.75, true, false, 0},  // hidden
               {9, -1, false, true, 2}};   // formatted, nothing in it
  d.colInfo = {{1, 2, 25.5, false, false, 0},
               {4, 4, -1, false, true, 2},
               {6, 8, 3.5, true, false, 0}};
  test::Readback rb = Save(d, styles);

  EXPECT_EQ(rb.get("S", "row:2", "height"), "30.0");
  EXPECT_EQ(rb.get("S", "row:2", "hidden"), "0");
  EXPECT_EQ(rb.get("S", "row:3", "fill.pattern"), "solid");
  EXPECT_EQ(rb.get("S", "row:3", "fill.fg"), "FFDDEEFF");
  EXPECT_EQ(rb.get("S", "row:3", "font.b"), "1");
  EXPECT_EQ(rb.get("S", "B3", "fill.pattern"), "none");  // the cell's own format wins
  EXPECT_EQ(rb.get("S", "D3", "fill.pattern"), "none");
  EXPECT_EQ(rb.get("S", "row:5", "hidden"), "1");
  EXPECT_EQ(rb.get("S", "row:5", "height"), "12.75");
  EXPECT_EQ(rb.get("S", "row:10", "numfmt"), "#,##0.00");
  EXPECT_EQ(rb.get("S", "row:10", "border.bottom"), "thin");
  EXPECT_EQ(rb.get("S", "row:1", "height"), kMissing);

  EXPECT_EQ(rb.get("S", "col:B", "width"), "25.5");
  EXPECT_EQ(rb.get("S", "col:B", "max"), "3");
  EXPECT_EQ(rb.get("S", "col:E", "numfmt"), "#,##0.00");
  EXPECT_EQ(rb.get("S", "col:E", "width"), "9.140625");  // the default width, 64 pixels
  EXPECT_EQ(rb.get("S", "col:G", "hidden"), "1");
  EXPECT_EQ(rb.get("S", "col:G", "width"), "3.5");
  EXPECT_EQ(rb.get("S", "col:G", "max"), "9");
  EXPECT_EQ(rb.get("S", "E7", "numfmt"), "#,##0.00");
}

}  // namespace
}  // namespace corvane
