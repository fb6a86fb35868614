// The one way readers fill a sheet: typed values placed in any order, formulas whose tokens
// come after their cells, and formula cells that stand for their results only.
#include <gtest/gtest.h>

#include "engine/core/sheet_builder.h"

namespace corvane {
namespace {

TEST(SheetBuilder, ValuesFormulasAndResults) {
  SheetData d;
  SheetBuilder b(d);
  b.add(Cell::NumberValue(2.5), 1, 1, 3);
  b.add(b.ownString("own"), 0, 2, 0);  // out of order: sorted when finished
  b.add(Cell::BoolValue(true), 0, 0, 0);
  b.add(Cell::ErrorValue(ErrorCode::Div0), 0, 1, 0);
  EXPECT_FALSE(b.add(Cell::NumberValue(1), 0, kMaxCols, 0));  // past the last column
  Formula f;
  f.text = "A1&\"x\"";
  b.add(b.formula(f, {CachedKind::String, 0, ErrorCode::NA, "yesx"}), 2, 0, 0);

  // Each kind of value becomes a formula keeping it as its result, and back.
  struct Case {
    Cell value;
    CachedKind cached;
  };
  const Case cases[] = {{Cell::NumberValue(7), CachedKind::Number},
                        {Cell::BoolValue(true), CachedKind::Bool},
                        {Cell::ErrorValue(ErrorCode::NA), CachedKind::Error},
                        {b.ownString("text"), CachedKind::String},
                        {Cell::BlankValue(), CachedKind::None}};
  int32_t col = 0;
  for (const Case& c : cases) {
    size_t i = b.count();
    b.add(c.value, 5, col, 0);
    Formula g;
    g.text = "1";
    b.toFormula(i, g);
    EXPECT_EQ(b.cell(i).type, CellType::Formula);
    EXPECT_EQ(b.cell(i).cached(), c.cached);
    b.toValue(i);
    EXPECT_EQ(b.cell(i).type, c.value.type);
    EXPECT_EQ(b.cell(i).col, col++);
  }
  b.finish();

  ASSERT_TRUE(d.sorted);
  ASSERT_EQ(d.cells.size(), 9u);  // the blank of the default format is dropped
  const Cell* s = d.find(0, 2);
  ASSERT_TRUE(s);
  EXPECT_EQ(d.str(*s), "own");
  EXPECT_EQ(d.find(1, 1)->number(), 2.5);
  EXPECT_EQ(d.find(1, 1)->style, 3u);
  EXPECT_TRUE(d.find(0, 0)->boolean());
  EXPECT_EQ(d.find(0, 1)->error(), ErrorCode::Div0);
  const Cell* fc = d.find(2, 0);
  ASSERT_TRUE(fc);
  EXPECT_EQ(d.formula(*fc).cachedString, "yesx");
  EXPECT_EQ(d.str(*d.find(5, 3)), "text");
  EXPECT_EQ(d.find(5, 0)->number(), 7);
  EXPECT_EQ(d.find(5, 4), nullptr);
}

}  // namespace
}  // namespace corvane
