#include "engine/core/cellref.h"

#include <gtest/gtest.h>


namespace corvane {
namespace {

TEST(ColumnNames, KnownColumns) {
  struct Case { int32_t col; const char* name; };
  const Case cases[] = {
      {0, "A"}, {1, "B"}, {25, "Z"}, {26, "AA"}, {27, "AB"}, {51, "AZ"}, {52, "BA"},
      {701, "ZZ"}, {702, "AAA"}, {703, "AAB"}, {16383, "XFD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColumnName(c.col), c.name) << c.col;
    EXPECT_EQ(ParseColumn(c.name), c.col) << c.name;
  }
  EXPECT_EQ(ColumnName(-1), "");
  std::string s = "=";
  AppendColumnName(s, 26);
  EXPECT_EQ(s, "=AA");
}

TEST(ColumnNames, EveryColumnRoundTrips) {
  for (int32_t c = 0; c < kMaxCols; ++c) {
    std::string name = ColumnName(c);
    ASSERT_EQ(ParseColumn(name), c) << name;
    std::string lower = name;
    for (char& ch : lower) ch = static_cast<char>(ch | 0x20);
    ASSERT_EQ(ParseColumn(lower), c) << lower;
  }
}

TEST(ColumnNames, RejectsWhatIsNoColumn) {
  const char* bad[] = {"", "XFE", "XGA", "ZZZ", "AAAA", "A1", "$A", " A", "A ", "Ä", "_", "1"};
  for (const char* b : bad) EXPECT_EQ(ParseColumn(b), -1) << '"' << b << '"';
}

TEST(A1, ParsesCells) {
  struct Case { const char* text; int32_t row, col; };
  const Case cases[] = {
      {"A1", 0, 0},          {"C5", 4, 2},     {"$C$5", 4, 2},  {"c5", 4, 2},
      {"C$5", 4, 2},         {"$C5", 4, 2},    {"xfd1", 0, 16383},
      {"XFD1048576", 1048575, 16383},          {"AA10", 9, 26}, {"A01", 0, 0},
  };
  for (const Case& c : cases) {
    int32_t r = -7, col = -7;
    ASSERT_TRUE(ParseA1(c.text, r, col)) << c.text;
    EXPECT_EQ(r, c.row) << c.text;
    EXPECT_EQ(col, c.col) << c.text;
  }
}

TEST(A1, RejectsTextOutsideTheSheetOrMalformed) {
  const char* bad[] = {
      "", "A", "1", "$", "A$", "A0", "XFE1", "A1048577", "AAAA1", "A1 ", " A1", "A1:B2", "$$A1",
      "A$$1", "A-1", "1A", "A1B", "A99999999999999999999", "R1C1", "A1.5", "A+1",
  };
  for (const char* b : bad) {
    int32_t r = -7, c = -7;
    EXPECT_FALSE(ParseA1(b, r, c)) << '"' << b << '"';
    EXPECT_EQ(r, -7) << b;
    EXPECT_EQ(c, -7) << b;
  }
}

TEST(A1, Formats) {
  EXPECT_EQ(FormatA1(0, 0), "A1");
  EXPECT_EQ(FormatA1(4, 2), "C5");
  EXPECT_EQ(FormatA1(4, 2, true, true), "$C$5");
  EXPECT_EQ(FormatA1(4, 2, true, false), "C$5");
  EXPECT_EQ(FormatA1(4, 2, false, true), "$C5");
  EXPECT_EQ(FormatA1(1048575, 16383), "XFD1048576");
  for (int32_t r : {0, 8, 9, 99, 12345, kMaxRows - 1}) {
    for (int32_t c : {0, 25, 26, 701, 702, kMaxCols - 1}) {
      int32_t pr, pc;
      ASSERT_TRUE(ParseA1(FormatA1(r, c, r % 2 == 0, c % 2 == 0), pr, pc));
      EXPECT_EQ(pr, r);
      EXPECT_EQ(pc, c);
    }
  }
}

TEST(Ranges, Parses) {
  struct Case { const char* text; Rect want; };
  const Case cases[] = {
      {"A1:B2", {0, 0, 1, 1}},
      {"$A$1:$B$2", {0, 0, 1, 1}},
      {"B2:A1", {0, 0, 1, 1}},     // corners put in order
      {"A2:B1", {0, 0, 1, 1}},
      {"B1:A2", {0, 0, 1, 1}},
      {"C5", {4, 2, 4, 2}},        // one cell
      {"$C$5", {4, 2, 4, 2}},
      {"c3:d4", {2, 2, 3, 3}},
      {"A1:XFD1048576", {0, 0, kMaxRows - 1, kMaxCols - 1}},
      {"A:C", {0, 0, kMaxRows - 1, 2}},
      {"$C:$A", {0, 0, kMaxRows - 1, 2}},
      {"1:3", {0, 0, 2, kMaxCols - 1}},
      {"$5:$2", {1, 0, 4, kMaxCols - 1}},
  };
  for (const Case& c : cases) {
    Rect r{9, 9, 9, 9};
    ASSERT_TRUE(ParseRange(c.text, r)) << c.text;
    EXPECT_EQ(r, c.want) << c.text;
  }
}

TEST(Ranges, RejectsMalformedOrOutside) {
  const char* bad[] = {"", ":", "A1:", ":A1", "A1:B", "A:1", "1:A", "A1:B2:C3", "A1:XFE1",
                       "A0:B2", "A1-B2", "A1 :B2", "A:XFE", "0:3", "1:1048577", "Sheet1!A1"};
  for (const char* b : bad) {
    Rect r{9, 9, 9, 9};
    EXPECT_FALSE(ParseRange(b, r)) << '"' << b << '"';
    EXPECT_EQ(r, (Rect{9, 9, 9, 9})) << b;
  }
}

TEST(Ranges, FormatsAndRoundTrips) {
  EXPECT_EQ(FormatRange(Rect{0, 0, 0, 0}), "A1");
  EXPECT_EQ(FormatRange(Rect{0, 0, 1, 1}), "A1:B2");
  EXPECT_EQ(FormatRange(Rect{4, 2, 4, 3}), "C5:D5");
  EXPECT_EQ(FormatRange(Rect{}), "");
  EXPECT_EQ(FormatRange(Rect{0, 0, kMaxRows - 1, kMaxCols - 1}), "A1:XFD1048576");
  const Rect rects[] = {{0, 0, 0, 0}, {3, 7, 3, 9}, {0, 0, kMaxRows - 1, 0}, {100, 26, 2000, 702}};
  for (const Rect& want : rects) {
    Rect got;
    ASSERT_TRUE(ParseRange(FormatRange(want), got)) << FormatRange(want);
    EXPECT_EQ(got, want);
  }
}

}  // namespace
}  // namespace corvane
