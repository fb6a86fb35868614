// Merge runs end to end: the merge list in, a saved workbook out, read back by openpyxl.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/containers/zip_package.h"
#include "engine/core/cellref.h"
#include "engine/merge/merge.h"
#include "lists/path_functions.h"
#include "tests/engine/merge_support.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

using test::Block;
using test::Keeper;
using test::Recorder;
using Merging = test::MergeFixture;

TEST_F(Merging, VerticalBlocksStackWithTheGapBetween) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 10, 2)}});
  std::string b = book("b.xlsx", {{"S", Block(1, 1, 3, 2)}});
  for (const char* gap : {"0", "2"}) {
    SCOPED_TRACE(gap);
    lists.merges.Clear();
    queue(a, "S");
    queue(b, "S");
    gapText = gap;
    ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
    auto cells = result();
    int second = gap[0] == '0' ? 11 : 13;
    EXPECT_EQ(cells["A1"], "101");
    EXPECT_EQ(cells["B10"], "1002");
    EXPECT_EQ(cells["A" + std::to_string(second)], "101");
    EXPECT_EQ(cells["B" + std::to_string(second + 2)], "302");
    EXPECT_EQ(cells.size(), 26u);
    keeper.shown->Quit();
    keeper.shown.reset();
  }
}

TEST_F(Merging, HorizontalBlocksSitSideBySideInRowOne) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 2, 4)}});
  std::string b = book("b.xlsx", {{"S", Block(1, 1, 5, 1)}});
  for (const char* gap : {"0", "2"}) {
    SCOPED_TRACE(gap);
    lists.merges.Clear();
    queue(a, "S");
    queue(b, "S");
    gapText = gap;
    ASSERT_EQ(merge(1), MergeOutcome::Succeeded);
    auto cells = result();
    std::string col = gap[0] == '0' ? "E" : "G";
    EXPECT_EQ(cells["D2"], "204");
    EXPECT_EQ(cells[col + "1"], "101");
    EXPECT_EQ(cells[col + "5"], "501");  // a taller block below row 2 of the first
    EXPECT_EQ(cells.size(), 13u);
    keeper.shown->Quit();
    keeper.shown.reset();
  }
}

TEST_F(Merging, UsedRangeFarFromA1LandsAtTheNextPosition) {
  std::string a = book("a.xlsx", {{"S", Block(5, 3, 9, 5)}});  // C5:E9
  queue(a, "S");
  queue(a, "S");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  auto cells = result();
  EXPECT_EQ(cells["A1"], "503");
  EXPECT_EQ(cells["C5"], "905");
  EXPECT_EQ(cells["A6"], "503");
  EXPECT_EQ(cells.size(), 30u);
  keeper.shown->Quit();
  keeper.shown.reset();

  ASSERT_EQ(merge(1), MergeOutcome::Succeeded);
  cells = result();
  EXPECT_EQ(cells["A1"], "503");
  EXPECT_EQ(cells["D1"], "503");
  EXPECT_EQ(cells["F5"], "905");
}

// What one merged cell should be: its source's value and its source's format.
struct Placed {
  CellType type;
  double num;
  Style style;
  bool operator==(const Placed&) const = default;
};
using Placement = std::map<std::pair<uint32_t, uint16_t>, Placed>;

// Every cell of a sheet that a paste carries (values, and blanks with a format other than the
// workbook's default), moved by (dRow, dCol). Fails when a cell lands where one already is.
void Place(const SheetData& d, const StyleTable& styles, const Rect& from, int32_t dRow, int32_t dCol, Placement& out) {
  for (const Cell& c : d.cells) {
    if (!from.contains(static_cast<int32_t>(c.row), c.col)) continue;
    const Style& st = styles.styles.at(c.style);
    if (c.type == CellType::Blank && st == styles.styles.at(0)) continue;
    auto key = std::make_pair(static_cast<uint32_t>(static_cast<int32_t>(c.row) + dRow), static_cast<uint16_t>(c.col + dCol));
    EXPECT_TRUE(out.emplace(key, Placed{c.type, c.num, st}).second) << "two blocks claim row " << key.first + 1
                                                                    << ", column " << key.second + 1;
  }
}

// Empty sheets first, in the middle and last, a block whose first rows hold only formats (one of
// them a format that looks like the default), a block that starts at C5: each merged cell is its
// source cell, cell for cell, in the saved file too, and no block lands on another.
TEST_F(Merging, NoBlockLandsOnAnotherWhateverTheSourcesUsedRanges) {
  std::string styles =
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
      "<borders count=\"1\"><border/></borders>"
      "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellXfs>";
  const std::string formatsOnly = "<row r=\"1\"><c r=\"A1\" s=\"2\"/><c r=\"E1\" s=\"2\"/></row>"
                                  "<row r=\"2\"><c r=\"B2\" s=\"1\"/><c r=\"D2\" s=\"1\"/></row>";
  std::string a = book("a.xlsx", {{"Empty", "<sheetData/>"}, {"Big", Block(1, 1, 3, 3, 10000)}, {"Small", Block(1, 1, 2, 2, 20000)}});
  std::string b = book("b.xlsx", {{"Far", Block(5, 3, 7, 5, 30000)}, {"Formats", Block(3, 1, 4, 2, 40000, formatsOnly)},
                                  {"Empty", "<sheetData/>"}},
                       styles);
  const std::vector<std::pair<std::string, std::string>> order = {
      {a, "Empty"}, {a, "Big"}, {a, "Small"}, {a, "Empty"}, {b, "Far"}, {b, "Formats"}, {a, "Empty"}, {b, "Far"}, {b, "Empty"}};

  auto reader = Application::Create();
  for (int mode : {0, 1}) {
    for (const char* gap : {"0", "2"}) {
      SCOPED_TRACE(std::string(mode == 0 ? "vertical" : "horizontal") + ", gap " + gap);
      lists.merges.Clear();
      for (auto& [path, sheet] : order) queue(path, sheet);
      gapText = gap;
      ASSERT_EQ(merge(mode), MergeOutcome::Succeeded);

      // Where each block belongs: after the last row (column) of the one before, and the gap.
      Placement expected;
      int32_t next = 0;
      for (auto& [path, sheet] : order) {
        Workbook& wb = reader->Workbooks().Open(path);
        Worksheet& ws = wb.Worksheets()(sheet);
        Rect used = ws.UsedRange().rect();
        if (mode == 0) Place(ws.data(), *wb.Styles(), used, next - used.r1, -used.c1, expected);
        else Place(ws.data(), *wb.Styles(), used, -used.r1, next - used.c1, expected);
        next += (mode == 0 ? used.rows() : used.cols()) + gap[0] - '0';
        wb.Close();
      }
      Workbook& merged = keeper.shown->Workbooks().Item(1);
      Placement got;
      Place(merged.Worksheets()(1).data(), *merged.Styles(), Rect{0, 0, kMaxRows - 1, kMaxCols - 1}, 0, 0, got);
      EXPECT_EQ(got.size(), expected.size());
      for (auto& [at, cell] : expected) {
        auto it = got.find(at);
        EXPECT_TRUE(it != got.end() && it->second == cell) << "row " << at.first + 1 << ", column " << at.second + 1;
      }

      // The saved file, read by openpyxl: the values and nothing else.
      std::map<std::string, std::string> values;
      for (auto& [at, cell] : expected)
        if (cell.type == CellType::Number)
          values[ColumnName(at.second) + std::to_string(at.first + 1)] = std::to_string(static_cast<int>(cell.num));
      EXPECT_EQ(result(), values);
      keeper.shown->Quit();
      keeper.shown.reset();
    }
  }
  reader->Quit();
}

TEST_F(Merging, AWorkbookThatComesBackIsOpenedAgainButNotBetweenItsOwnEntries) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 1, 1)}, {"T", Block(2, 1, 2, 1)}});
  std::string b = book("b.xlsx", {{"S", Block(3, 1, 3, 1)}});
  queue(a, "S");
  queue(b, "S", false);  // unticked: a stays open
  queue(a, "T");
  queue(b, "S");
  queue(a, "S");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_EQ(keeper.shown->Workbooks().OpenedCount(), 3);  // a, b, a
  auto cells = result();
  EXPECT_EQ(cells["A1"], "101");
  EXPECT_EQ(cells["A2"], "201");
  EXPECT_EQ(cells["A3"], "301");
  EXPECT_EQ(cells["A4"], "101");
}

TEST_F(Merging, DeletedWorkbooksAreSkippedAndProgressStillReachesTheEnd) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 1, 1)}});
  std::string gone = book("gone.xlsx", {{"S", Block(1, 1, 1, 1)}});
  queue(gone, "S");
  queue(a, "S");
  queue((tmp / "folder").string(), "S");
  std::filesystem::remove(gone);
  std::filesystem::create_directory(tmp / "folder");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_TRUE(rec.shown.empty());
  EXPECT_EQ(rec.maximum, 3);
  EXPECT_EQ(rec.values, (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(result()["A1"], "101");
}

TEST_F(Merging, EveryEntryMissingFailsAndLeavesNothingRunning) {
  queue((tmp / "x.xlsx").string(), "S");
  queue((tmp / "y.xlsx").string(), "S");
  ASSERT_EQ(merge(0), MergeOutcome::Failed);
  ASSERT_EQ(rec.shown.size(), 2u);
  EXPECT_EQ(rec.shown[0].second, MessageIcon::Critical);
  EXPECT_EQ(rec.shown[1], std::make_pair(std::string(kMergeFailed), MessageIcon::Critical));
  EXPECT_EQ(rec.values.back(), 0);
  EXPECT_FALSE(keeper.shown);
  EXPECT_EQ(Application::AliveCount(), 0);
}

TEST_F(Merging, MissingSheetFailsVerticalWithItsDescriptionAndHorizontalWithout) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 2, 2)}});
  queue(a, "S");
  queue(a, "Gone");
  ASSERT_EQ(merge(0), MergeOutcome::Failed);
  ASSERT_EQ(rec.shown.size(), 2u);
  EXPECT_NE(rec.shown[0].first.find("has no worksheet named \"Gone\""), std::string::npos);
  EXPECT_EQ(rec.shown[1].first, kMergeFailed);
  EXPECT_EQ(Application::AliveCount(), 0);

  rec.shown.clear();
  ASSERT_EQ(merge(1), MergeOutcome::Failed);
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].first, kMergeFailed);
  EXPECT_FALSE(keeper.shown);
}

TEST_F(Merging, NothingTickedStartsNothing) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 1, 1)}});
  queue(a, "S", false);
  gapText = "-3";
  ASSERT_EQ(merge(0), MergeOutcome::NotStarted);
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0], std::make_pair(std::string(kNothingTicked), MessageIcon::Information));
  EXPECT_EQ(gapText, "0");  // normalised before the ticks are counted
  EXPECT_EQ(rec.maximum, -1);
  EXPECT_TRUE(rec.values.empty());
}

TEST_F(Merging, ProgressMaximumCountsEveryEntry) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 1, 1)}});
  queue(a, "S", false);
  queue(a, "S", false);
  queue(a, "S");
  ASSERT_EQ(merge(0), MergeOutcome::Succeeded);
  EXPECT_EQ(rec.maximum, 3);
}

TEST_F(Merging, GapTooLargeForTheSheetFailsTheRun) {
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 1, 1)}});
  queue(a, "S");
  queue(a, "S");
  gapText = "2147483647";
  ASSERT_EQ(merge(0), MergeOutcome::Failed);
  EXPECT_EQ(rec.shown.back().first, kMergeFailed);
}

TEST_F(Merging, CorpusBlockPastTheLastRowFailsCleanly) {
  std::string big = (test::Corpus() / "xlsx/lxw_data03.xlsx").string();
  fingerprints[big] = test::ReadAll(big);
  std::string a = book("a.xlsx", {{"S", Block(1, 1, 1, 1)}});
  queue(a, "S");
  queue(big, "Sheet1");
  ASSERT_EQ(merge(0), MergeOutcome::Failed);
  EXPECT_NE(rec.shown[0].first.find("1,048,576"), std::string::npos) << rec.shown[0].first;
  EXPECT_EQ(Application::AliveCount(), 0);
}

// Read the same under every locale: the engine tests run a second time under a German one,
// where strtod would stop at the period.
TEST(GapText, ReadsLikeTheGapBox) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"", 0},          {"-3", 0},        {"abc", 0},       {"5 abc", 5},      {"1 2", 12},
      {"2.5", 2},       {"3.5", 4},       {"2.7", 3},       {"1e1", 10},       {"1E+2", 100},
      {"2.6", 3},       {"1.5e1", 15},    {"1,5", 1},       {"0.5", 0},        {"1.5", 2},
      {"\t7\n", 7},     {"+4", 4},        {".5", 0},        {"&H1F", 31},      {"&o17", 15},
      {"&HZZ", 0},      {"1e", 1},        {"- 2", 0},       {"12abc34", 12},   {"1e-400", 0},
      {"999999999999", std::nullopt},     {"2147483647", INT32_MAX},           {"2147483648", std::nullopt},
      {"2147483647.4", INT32_MAX},        {"2147483647.5", std::nullopt},      {"1e400", std::nullopt},
      {"&H80000000", std::nullopt},
      // Below zero, however far, is no gap: nothing there is too large.
      {"-2147483648", 0},  {"-99999999999", 0},  {"-1e400", 0},  {"-&H10", 0},
  };
  for (auto& c : cases) EXPECT_EQ(ReadGapText(c.text), c.value) << '"' << c.text << '"';
}

TEST(GapText, BoxShowsZeroOnlyForValuesBelowOne) {
  Recorder rec;
  ListModel empty;
  for (auto [in, out, count] : {std::tuple{"-3", "0", 0}, {"", "0", 0}, {"0.4", "0", 0}, {"2.7", "2.7", 3}, {"1", "1", 1},
                                {"-99999999999", "0", 0}, {"-1e999", "0", 0}}) {
    std::string text = in;
    int32_t gap = -1;
    MergeCommand(empty, text, 0, gap, rec, rec);
    EXPECT_EQ(text, out) << in;
    EXPECT_EQ(gap, count) << in;
  }
  std::string huge = "999999999999";
  int32_t gap = 7;
  rec.shown.clear();
  EXPECT_EQ(MergeCommand(empty, huge, 0, gap, rec, rec), MergeOutcome::NotStarted);
  EXPECT_EQ(rec.shown.at(0), std::make_pair(std::string(kGapTooLarge), MessageIcon::Information));
  EXPECT_EQ(huge, "999999999999");
  EXPECT_EQ(gap, 7);
}

TEST(GapText, TheSameUnderEveryLocale) {
  Recorder rec;
  ListModel empty;
  for (const char* locale : {"C", test::kGermanLocale}) {
    test::ScopedLocale scope(locale);
    ASSERT_TRUE(scope.ok()) << locale << " is not generated here: scripts/install-deps.sh generates it";
    for (auto [text, gap] : {std::pair{"2.6", 3}, {"3.5", 4}, {"1.5e1", 15}}) {
      std::string box = text;
      int32_t count = -1;
      MergeCommand(empty, box, 0, count, rec, rec);
      EXPECT_EQ(count, gap) << text << " under " << locale;
      EXPECT_EQ(box, text);
    }
  }
}

// Formulas of an .xls that hold decimal constants ("=16763386.88+862187.11") are decompiled,
// pasted and saved to the same bytes whatever the locale the program runs under.
TEST_F(Merging, SavedWorkbookIsTheSameUnderEveryLocale) {
  std::string xls = (test::Corpus() / "xls/poi_florida_data.ashx.xls").string();
  fingerprints[xls] = test::ReadAll(xls);
  queue(xls, "LegendFL");
  queue(xls, "DistrictData0607");
  std::map<std::string, std::string> sheets;
  for (const char* locale : {"C", test::kGermanLocale}) {
    test::ScopedLocale scope(locale);
    ASSERT_TRUE(scope.ok()) << locale << " is not generated here: scripts/install-deps.sh generates it";
    gapText = "1.5e1";
    ASSERT_EQ(merge(0), MergeOutcome::Succeeded) << locale;
    EXPECT_EQ(gapCount, 15);
    auto out = tmp / (std::string("merged-") + locale + ".xlsx");
    keeper.shown->Workbooks().Item(1).SaveAs(out.string());
    keeper.shown->Quit();
    keeper.shown.reset();
    sheets[locale] = ZipPackage(out.string(), "merged").read("xl/worksheets/sheet1.xml");
  }
  EXPECT_NE(sheets["C"].find("<f>16763386.88+862187.11</f>"), std::string::npos);
  EXPECT_EQ(sheets["C"], sheets[test::kGermanLocale]);
}

}  // namespace
}  // namespace corvane
