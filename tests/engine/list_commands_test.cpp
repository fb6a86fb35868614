// The list commands on real folders holding real workbooks: filling the workbook and sheet
// lists, adding and removing sources, editing the merge list and the bulk additions, with
// every message and every change of the busy pointer in the order the user sees them.
#include "lists/list_commands.h"

#include <gtest/gtest.h>

#include "engine/automation/spreadsheet_automation.h"
#include "lists/path_functions.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Messages and pointer changes in one log, so their order can be checked.
struct Log {
  std::vector<std::string> events;
};

struct LogMessages : Messages {
  Log& log;
  explicit LogMessages(Log& l) : log(l) {}
  void Show(const std::string& text, MessageIcon icon) override {
    log.events.push_back((icon == MessageIcon::Critical ? "critical: " : "info: ") + text);
  }
};

struct LogBusy : BusyPointer {
  Log& log;
  bool busy = false;
  explicit LogBusy(Log& l) : log(l) {}
  void SetBusy(bool on) override {
    busy = on;
    log.events.push_back(on ? "hourglass" : "default");
  }
};

using Events = std::vector<std::string>;

std::vector<std::string> Texts(const ListModel& l) {
  std::vector<std::string> out;
  for (int i = 1; i <= l.Count(); ++i) out.push_back(l.Item(i).text);
  return out;
}

std::vector<bool> Ticks(const ListModel& l) {
  std::vector<bool> out;
  for (int i = 1; i <= l.Count(); ++i) out.push_back(l.Item(i).checked);
  return out;
}

// (path, sheet) of every merge entry, in order.
std::vector<std::pair<std::string, std::string>> Pairs(const ListModel& l) {
  std::vector<std::pair<std::string, std::string>> out;
  for (int i = 1; i <= l.Count(); ++i) out.emplace_back(l.Item(i).text, l.Item(i).subText);
  return out;
}

// A workbook whose only sheet is a chart sheet.
void WriteChartOnlyWorkbook(const fs::path& path) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  test::WriteZip(
      path,
      {{"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.xml\"/>"
                       "</Relationships>"},
       {"xl/workbook.xml",
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"" + rel.substr(0, rel.size() - 1) + "\"><sheets>"
        "<sheet name=\"Chart1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
       {"xl/_rels/workbook.xml.rels",
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" + rel + "chartsheet\" Target=\"chartsheets/sheet1.xml\"/></Relationships>"},
       {"xl/chartsheets/sheet1.xml",
        "<chartsheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>"}});
}

struct ListCommands : ::testing::Test {
  test::TempDir tmp;
  MainLists lists;
  Log log;
  LogMessages messages{log};
  LogBusy busy{log};
  std::vector<int> mergeScrolls;  // positions the merge list was asked to bring into view

  void SetUp() override {
    ASSERT_TRUE(fs::exists(test::Corpus() / "xlsx/calamine_any_sheets.xlsx")) << "corpus missing at " << test::Corpus();
    lists.merges.SetObserver({{}, [this](int pos) { mergeScrolls.push_back(pos); }});
  }
  void TearDown() override { EXPECT_EQ(Application::AliveCount(), 0); }

  // Copies corpus file `from` to `to` (relative to the temporary folder) and returns its path.
  std::string Copy(const std::string& from, const std::string& to) {
    const fs::path dest = tmp / to;
    fs::create_directories(dest.parent_path());
    fs::copy_file(test::Corpus() / from, dest, fs::copy_options::overwrite_existing);
    return dest.string();
  }
  std::string Folder(const std::string& name) {
    fs::create_directories(tmp / name);
    return (tmp / name).string();
  }
  // Three worksheets and a chart sheet: Visible, Hidden, VeryHidden.
  std::string AnySheets(const std::string& to) { return Copy("xlsx/calamine_any_sheets.xlsx", to); }
  // Sheet1, a chart sheet, Sheet2.
  std::string ChartBetween(const std::string& to) { return Copy("xlsx/lxw_chartsheet02.xlsx", to); }
  // A macro sheet, then Sheet1 and Sheet2.
  std::string WithMacroSheet(const std::string& to) { return Copy("xlsm/poi_xlmmacro.xlsm", to); }
  // A zip whose first part fails its checksum.
  std::string Damaged(const std::string& to) { return Copy("broken/poi_fuzz_bad_crc.xlsx", to); }

  void AddSource(const std::string& path, int icon) {
    lists.sources.Select(lists.sources.Add(ListEntry{path, "", icon, false}));
  }
};

const std::vector<std::string> kAnySheets{"Visible", "Hidden", "VeryHidden"};

// ---------------------------------------------------------------------------------------
// Workbook and sheet lists

TEST_F(ListCommands, FolderListsItsWorkbooksAndTheFirstOnesSheets) {
  const std::string dir = Folder("data");
  ChartBetween("data/b.xlsx");
  WithMacroSheet("data/A.XLSM");
  std::ofstream(tmp / "data/notes.txt") << "not a workbook";
  fs::create_directory(tmp / "data/folder.xlsx");
  AnySheets("data/sub/deep.xlsx");
  AppendMergeEntry(lists, "/kept.xlsx", "Sheet1");
  AddSource(dir, kIconFolder);

  SourceEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"A.XLSM", "b.xlsx"}));
  EXPECT_EQ(Ticks(lists.workbooks), (std::vector<bool>{true, true}));
  EXPECT_EQ(lists.workbooks.SelectedIndex(), 1);
  // The macro sheet is not a worksheet.
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Sheet1", "Sheet2"}));
  EXPECT_EQ(Ticks(lists.sheets), (std::vector<bool>{true, true}));
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{"/kept.xlsx", "Sheet1"}}));

  // Another workbook of the same folder; the chart sheet between the two is not listed.
  lists.workbooks.Select(2);
  WorkbookEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Sheet1", "Sheet2"}));
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"A.XLSM", "b.xlsx"}));
  EXPECT_EQ(log.events, (Events{"hourglass", "default", "hourglass", "default"}));
}

TEST_F(ListCommands, FileSourceListsItsOwnNameAndWorksheetsInOrder) {
  const std::string file = AnySheets("Q1 Sales.xlsx");
  AddSource(file, kIconWorkbook);
  lists.sheets.Add(ListEntry{"stale", "", 0, true});
  SourceEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"Q1 Sales.xlsx"}));
  EXPECT_EQ(Ticks(lists.workbooks), (std::vector<bool>{true}));
  EXPECT_EQ(Texts(lists.sheets), kAnySheets);
  EXPECT_EQ(lists.sheets.SelectedIndex(), 1);
  EXPECT_TRUE(log.events == (Events{"hourglass", "default"}));
}

TEST_F(ListCommands, NothingToListLeavesBothListsEmptyWithoutAWord) {
  // A folder without workbooks.
  const std::string empty = Folder("empty");
  std::ofstream(tmp / "empty/readme.txt") << "x";
  AddSource(empty, kIconFolder);
  lists.workbooks.Add(ListEntry{"old.xlsx", "", 0, true});
  lists.sheets.Add(ListEntry{"old", "", 0, true});
  SourceEntryClicked(lists, messages, busy);
  EXPECT_EQ(lists.workbooks.Count(), 0);
  EXPECT_EQ(lists.sheets.Count(), 0);

  // A folder and a file that have gone, and an entry that never named anything.
  const std::string gone = Folder("gone");
  ChartBetween("gone/x.xlsx");
  const std::string goneFile = AnySheets("gone.xlsx");
  fs::remove_all(gone);
  fs::remove(goneFile);
  for (const std::string& path : {gone, goneFile, std::string("/no/such/place")}) {
    AddSource(path, kIconNothing);
    SourceEntryClicked(lists, messages, busy);
    EXPECT_EQ(lists.workbooks.Count(), 0) << path;
    EXPECT_EQ(lists.sheets.Count(), 0) << path;
  }
  for (const std::string& e : log.events) EXPECT_TRUE(e == "hourglass" || e == "default") << e;

  // An empty source list: nothing at all, not even the pointer.
  lists.sources.Clear();
  log.events.clear();
  SourceEntryClicked(lists, messages, busy);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(ListCommands, WorkbookDeletedAfterListingGivesNoSheets) {
  const std::string dir = Folder("d");
  const std::string a = ChartBetween("d/a.xlsx");
  AnySheets("d/b.xlsx");
  AddSource(dir, kIconFolder);
  SourceEntryClicked(lists, messages, busy);
  ASSERT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Sheet1", "Sheet2"}));
  fs::remove(a);
  log.events.clear();
  WorkbookEntryClicked(lists, messages, busy);
  EXPECT_EQ(lists.sheets.Count(), 0);
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));
}

TEST_F(ListCommands, DamagedWorkbookShowsItsFailureThenOpenFailed) {
  const std::string dir = Folder("d");
  Damaged("d/a damaged.xlsx");
  AnySheets("d/b.xlsx");
  AddSource(dir, kIconFolder);
  SourceEntryClicked(lists, messages, busy);
  ASSERT_EQ(log.events.size(), 4u);
  EXPECT_EQ(log.events[0], "hourglass");
  // The engine's own description first, naming the file, then the fixed message, both critical.
  EXPECT_EQ(log.events[1].rfind("critical: ", 0), 0u);
  EXPECT_NE(log.events[1], std::string("critical: ") + kOpenExcelFileFailed);
  EXPECT_NE(log.events[1].find("a damaged.xlsx"), std::string::npos) << log.events[1];
  EXPECT_EQ(log.events[2], std::string("critical: ") + kOpenExcelFileFailed);
  EXPECT_EQ(log.events[3], "default");
  EXPECT_EQ(lists.sheets.Count(), 0);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"a damaged.xlsx", "b.xlsx"}));
  EXPECT_EQ(Application::AliveCount(), 0);

  // The next workbook of the same folder still reads.
  lists.workbooks.Select(2);
  WorkbookEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.sheets), kAnySheets);
  EXPECT_EQ(Application::AliveCount(), 0);

  // A file that is no workbook at all fails the same way.
  std::ofstream(tmp / "text.xlsx") << "just text";
  AddSource((tmp / "text.xlsx").string(), kIconWorkbook);
  log.events.clear();
  FillSheetList(lists, messages);
  ASSERT_EQ(log.events.size(), 2u);
  EXPECT_EQ(log.events[1], std::string("critical: ") + kOpenExcelFileFailed);
  EXPECT_EQ(lists.sheets.Count(), 0);
}

TEST_F(ListCommands, EveryClickReadsTheWorkbookAfresh) {
  const std::string file = (tmp / "live.xlsx").string();
  test::WriteWorkbook(file, {{"One", ""}});
  AddSource(file, kIconWorkbook);
  SourceEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"One"}));
  test::WriteWorkbook(file, {{"Two", ""}, {"Three", ""}});
  WorkbookEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Two", "Three"}));
}

// ---------------------------------------------------------------------------------------
// Adding and removing sources

TEST_F(ListCommands, AddingSourcesSelectsThemAndRefillsTheLowerLists) {
  const std::string dir = Folder("f");
  ChartBetween("f/b.xlsx");
  const std::string file = AnySheets("one.xlsx");
  AddSourceFile(lists, file, messages, busy);
  EXPECT_EQ(lists.sources.Item(1).icon, kIconWorkbook);
  EXPECT_EQ(Texts(lists.sheets), kAnySheets);
  AddSourceFolder(lists, dir, messages, busy);
  AddSourceFile(lists, file, messages, busy);  // the same file twice: two equal entries
  EXPECT_EQ(Texts(lists.sources), (std::vector<std::string>{file, dir, file}));
  EXPECT_EQ(lists.sources.Item(2).icon, kIconFolder);
  EXPECT_EQ(lists.sources.SelectedIndex(), 3);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"one.xlsx"}));
  EXPECT_EQ(log.events, (Events{"hourglass", "default", "hourglass", "default", "hourglass", "default"}));

  // A folder without workbooks is added, selected and shows empty lists, without a word.
  const std::string empty = Folder("empty");
  AddSourceFolder(lists, empty, messages, busy);
  EXPECT_EQ(lists.sources.SelectedIndex(), 4);
  EXPECT_EQ(lists.workbooks.Count(), 0);
  EXPECT_EQ(lists.sheets.Count(), 0);

  // A folder choice without a path adds nothing, and leaves the default pointer.
  log.events.clear();
  AddSourceFolder(lists, "", messages, busy);
  EXPECT_EQ(lists.sources.Count(), 4);
  EXPECT_EQ(log.events, (Events{"default"}));
}

TEST_F(ListCommands, DroppedPathsAddWorkbooksAndFoldersOnly) {
  const std::string dir = Folder("drop");
  ChartBetween("drop/in.xlsx");
  const std::string book = AnySheets("Book.XLSX");
  const std::string macro = WithMacroSheet("m.xlsm");
  std::ofstream(tmp / "notes.txt") << "x";
  std::ofstream(tmp / "data.csv") << "1,2";
  std::ofstream(tmp / "noext") << "x";
  const std::vector<std::string> dropped{(tmp / "notes.txt").string(), book, dir, (tmp / "data.csv").string(),
                                         (tmp / "missing.xlsx").string(), (tmp / "noext").string(), macro};
  EXPECT_EQ(AddDroppedSources(lists, dropped, messages, busy), 3);
  EXPECT_EQ(Texts(lists.sources), (std::vector<std::string>{book, dir, macro}));
  EXPECT_EQ(lists.sources.Item(1).icon, kIconWorkbook);
  EXPECT_EQ(lists.sources.Item(2).icon, kIconFolder);
  EXPECT_EQ(lists.sources.Item(3).icon, kIconWorkbook);
  // The last one added is selected and its lists are shown.
  EXPECT_EQ(lists.sources.SelectedIndex(), 3);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"m.xlsm"}));
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Sheet1", "Sheet2"}));
  EXPECT_FALSE(busy.busy);
}

struct ListCommandsRemovingSources : ListCommands {
  std::vector<std::string> paths;
  // Five sources, each a folder with one workbook named after it, or a file.
  void SetUp() override {
    ListCommands::SetUp();
    for (int i = 1; i <= 4; ++i) {
      const std::string dir = Folder("s" + std::to_string(i));
      ChartBetween("s" + std::to_string(i) + "/book" + std::to_string(i) + ".xlsx");
      paths.push_back(dir);
    }
    paths.push_back(AnySheets("five.xlsx"));
    for (const std::string& p : paths) lists.sources.Add(ListEntry{p, "", PathKind(p) == 2 ? kIconWorkbook : kIconFolder, false});
    AppendMergeEntry(lists, paths[4], "Visible");
  }
};

// Removing selects the entry above (the new first when the first goes) and refills.
TEST_F(ListCommandsRemovingSources, RemovingSelectsTheOneAboveAndRefills) {
  lists.sources.Select(3);
  RemoveSelectedSource(lists, messages, busy);
  EXPECT_EQ(Texts(lists.sources), (std::vector<std::string>{paths[0], paths[1], paths[3], paths[4]}));
  EXPECT_EQ(lists.sources.SelectedIndex(), 2);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"book2.xlsx"}));
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Sheet1", "Sheet2"}));
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));
  EXPECT_EQ(lists.merges.Count(), 1);

  // The first: the new first; the last (a file): the one above it.
  lists.sources.Select(1);
  RemoveSelectedSource(lists, messages, busy);
  EXPECT_EQ(lists.sources.SelectedIndex(), 1);
  EXPECT_EQ(lists.sources.SelectedItem()->text, paths[1]);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"book2.xlsx"}));
  lists.sources.Select(3);
  RemoveSelectedSource(lists, messages, busy);
  EXPECT_EQ(lists.sources.SelectedItem()->text, paths[3]);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"book4.xlsx"}));
}

TEST_F(ListCommandsRemovingSources, RemovingTheOnlyOneEmptiesTheLowerLists) {
  while (lists.sources.Count() > 1) lists.sources.Remove(1);
  lists.sources.Select(1);
  SourceEntryClicked(lists, messages, busy);
  ASSERT_EQ(Texts(lists.sheets), kAnySheets);
  log.events.clear();
  RemoveSelectedSource(lists, messages, busy);
  EXPECT_EQ(lists.sources.Count(), 0);
  EXPECT_EQ(lists.workbooks.Count(), 0);
  EXPECT_EQ(lists.sheets.Count(), 0);
  EXPECT_EQ(log.events, (Events{"default"}));
  EXPECT_EQ(lists.merges.Count(), 1);

  // Removing from an empty list does nothing but set the default pointer.
  RemoveSelectedSource(lists, messages, busy);
  EXPECT_EQ(log.events, (Events{"default", "default"}));
}

TEST_F(ListCommandsRemovingSources, RemoveAllSourcesKeepsTheMergeList) {
  lists.sources.Select(5);
  SourceEntryClicked(lists, messages, busy);
  RemoveAllSources(lists);
  EXPECT_EQ(lists.sources.Count(), 0);
  EXPECT_EQ(lists.workbooks.Count(), 0);
  EXPECT_EQ(lists.sheets.Count(), 0);
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{paths[4], "Visible"}}));

  // Emptying the merge list is the other way round.
  lists.sources.Add(ListEntry{paths[4], "", kIconWorkbook, false});
  SourceEntryClicked(lists, messages, busy);
  EmptyMergeList(lists);
  EXPECT_EQ(lists.merges.Count(), 0);
  EXPECT_EQ(lists.sources.Count(), 1);
  EXPECT_EQ(lists.workbooks.Count(), 1);
  EXPECT_EQ(lists.sheets.Count(), 3);
  EmptyMergeList(lists);
  EXPECT_EQ(lists.merges.Count(), 0);
}

// ---------------------------------------------------------------------------------------
// Merge list editing

TEST_F(ListCommands, AddSheetNeedsAWorkbookThatExists) {
  // No source at all, even with sheet entries left over.
  lists.sheets.Add(ListEntry{"Sheet1", "", 0, true});
  AddSheetToMergeList(lists, messages);
  EXPECT_EQ(log.events, (Events{std::string("critical: ") + kFileDoesNotExist}));
  EXPECT_EQ(lists.merges.Count(), 0);

  // A folder whose workbook list is empty.
  log.events.clear();
  AddSource(Folder("empty"), kIconFolder);
  AddSheetToMergeList(lists, messages);
  EXPECT_EQ(log.events, (Events{std::string("critical: ") + kFileDoesNotExist}));

  // A workbook deleted after its sheets were listed.
  const std::string dir = Folder("d");
  const std::string a = ChartBetween("d/a.xlsx");
  AddSource(dir, kIconFolder);
  SourceEntryClicked(lists, messages, busy);
  ASSERT_EQ(lists.sheets.Count(), 2);
  fs::remove(a);
  log.events.clear();
  AddSheetToMergeList(lists, messages);
  EXPECT_EQ(log.events, (Events{std::string("critical: ") + kFileDoesNotExist}));
  EXPECT_EQ(lists.merges.Count(), 0);

  // An existing workbook with an empty sheet list: nothing, and nothing said.
  const std::string file = AnySheets("x.xlsx");
  AddSource(file, kIconWorkbook);
  lists.sheets.Clear();
  log.events.clear();
  AddSheetToMergeList(lists, messages);
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(lists.merges.Count(), 0);
}

TEST_F(ListCommands, AddSheetQueuesTheSelectedSheetTickedAndInView) {
  const std::string file = AnySheets("x.xlsx");
  AddSource(file, kIconWorkbook);
  SourceEntryClicked(lists, messages, busy);
  // A file source is its own workbook, whatever the workbook list shows.
  lists.workbooks.Clear();
  lists.workbooks.Add(ListEntry{"other.xlsx", "", 0, true});
  lists.sheets.Select(2);
  AddSheetToMergeList(lists, messages);
  AddSheetToMergeList(lists, messages);  // the same pair twice: two equal entries
  lists.sheets.Select(3);
  AddSheetToMergeList(lists, messages);
  EXPECT_EQ(Pairs(lists.merges),
            (decltype(Pairs(lists.merges)){{file, "Hidden"}, {file, "Hidden"}, {file, "VeryHidden"}}));
  EXPECT_EQ(Ticks(lists.merges), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(mergeScrolls, (std::vector<int>{1, 2, 3}));
  // The entry that was selected stays so.
  EXPECT_EQ(lists.merges.SelectedIndex(), 1);
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));
}

TEST_F(ListCommands, RemoveMergeEntrySelectsTheOneAbove) {
  RemoveMergeListEntry(lists);  // empty: nothing
  EXPECT_EQ(lists.merges.Count(), 0);
  for (const char* s : {"a", "b", "c", "d"}) AppendMergeEntry(lists, "/w.xlsx", s);
  lists.merges.Select(3);
  RemoveMergeListEntry(lists);
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{"/w.xlsx", "a"}, {"/w.xlsx", "b"}, {"/w.xlsx", "d"}}));
  EXPECT_EQ(lists.merges.SelectedIndex(), 2);
  lists.merges.Select(1);
  RemoveMergeListEntry(lists);
  EXPECT_EQ(lists.merges.SelectedIndex(), 1);
  EXPECT_EQ(lists.merges.SelectedItem()->subText, "b");
  RemoveMergeListEntry(lists);
  RemoveMergeListEntry(lists);
  EXPECT_EQ(lists.merges.Count(), 0);
  EXPECT_EQ(lists.merges.SelectedIndex(), 0);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(ListCommands, MergeEntryMovesCarryPathSheetAndTick) {
  AppendMergeEntry(lists, "/a.xlsx", "S1");
  AppendMergeEntry(lists, "/b.xlsx", "S2");
  AppendMergeEntry(lists, "/c.xlsx", "S3");
  lists.merges.SetChecked(2, false);

  // At the ends nothing moves.
  lists.merges.Select(1);
  MoveMergeEntryUp(lists);
  lists.merges.Select(3);
  MoveMergeEntryDown(lists);
  EXPECT_EQ(Texts(lists.merges), (std::vector<std::string>{"/a.xlsx", "/b.xlsx", "/c.xlsx"}));
  EXPECT_TRUE(mergeScrolls.empty());

  // The unticked entry goes up and stays unticked; its neighbour keeps its tick.
  lists.merges.Select(2);
  MoveMergeEntryUp(lists);
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{"/b.xlsx", "S2"}, {"/a.xlsx", "S1"}, {"/c.xlsx", "S3"}}));
  EXPECT_EQ(Ticks(lists.merges), (std::vector<bool>{false, true, true}));
  EXPECT_EQ(lists.merges.SelectedIndex(), 1);
  MoveMergeEntryDown(lists);
  MoveMergeEntryDown(lists);
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{"/a.xlsx", "S1"}, {"/c.xlsx", "S3"}, {"/b.xlsx", "S2"}}));
  EXPECT_EQ(Ticks(lists.merges), (std::vector<bool>{true, true, false}));
  EXPECT_EQ(lists.merges.SelectedIndex(), 3);
  EXPECT_EQ(mergeScrolls, (std::vector<int>{1, 2, 3}));
  MoveMergeEntryDown(lists);  // now last
  EXPECT_EQ(lists.merges.SelectedIndex(), 3);

  // A one-entry list moves neither way.
  EmptyMergeList(lists);
  AppendMergeEntry(lists, "/only.xlsx", "S");
  MoveMergeEntryUp(lists);
  MoveMergeEntryDown(lists);
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{"/only.xlsx", "S"}}));
  EXPECT_EQ(lists.merges.SelectedIndex(), 1);
}

TEST_F(ListCommands, SourceMovesKeepIconAndSelectionAndDoNotRefill) {
  const std::string dir = Folder("f");
  ChartBetween("f/b.xlsx");
  const std::string file = AnySheets("a.xlsx");
  lists.sources.Add(ListEntry{"/gone", "", kIconNothing, false});
  lists.sources.Add(ListEntry{dir, "", kIconFolder, false});
  lists.sources.Add(ListEntry{file, "", kIconWorkbook, false});
  lists.sources.Select(2);
  SourceEntryClicked(lists, messages, busy);
  const auto books = Texts(lists.workbooks);
  const auto sheets = Texts(lists.sheets);
  log.events.clear();

  MoveSourceEntryUp(lists);
  EXPECT_EQ(Texts(lists.sources), (std::vector<std::string>{dir, "/gone", file}));
  EXPECT_EQ(lists.sources.Item(1).icon, kIconFolder);
  EXPECT_EQ(lists.sources.Item(2).icon, kIconNothing);
  EXPECT_EQ(lists.sources.SelectedIndex(), 1);
  MoveSourceEntryUp(lists);  // at the top: nothing
  EXPECT_EQ(lists.sources.SelectedIndex(), 1);
  MoveSourceEntryDown(lists);
  MoveSourceEntryDown(lists);
  MoveSourceEntryDown(lists);  // at the bottom: nothing
  EXPECT_EQ(Texts(lists.sources), (std::vector<std::string>{"/gone", file, dir}));
  EXPECT_EQ(lists.sources.Item(3).icon, kIconFolder);
  EXPECT_EQ(lists.sources.Item(2).icon, kIconWorkbook);
  EXPECT_EQ(lists.sources.SelectedIndex(), 3);
  EXPECT_EQ(Texts(lists.workbooks), books);
  EXPECT_EQ(Texts(lists.sheets), sheets);
  EXPECT_TRUE(log.events.empty());
}

// ---------------------------------------------------------------------------------------
// Bulk additions

TEST_F(ListCommands, AddAllSheetsTakesEveryEntryTickedOrNot) {
  AddAllSheets(lists, messages, busy);  // empty sheet list: nothing, nothing said
  EXPECT_EQ(lists.merges.Count(), 0);
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));

  const std::string file = AnySheets("x.xlsx");
  AddSource(file, kIconWorkbook);
  SourceEntryClicked(lists, messages, busy);
  lists.sheets.SetChecked(2, false);
  lists.sheets.Select(3);
  AddAllSheets(lists, messages, busy);
  AddAllSheets(lists, messages, busy);
  std::vector<std::pair<std::string, std::string>> want;
  for (int round = 0; round < 2; ++round)
    for (const std::string& s : kAnySheets) want.emplace_back(file, s);
  EXPECT_EQ(Pairs(lists.merges), want);
  EXPECT_EQ(Ticks(lists.merges), std::vector<bool>(6, true));
  EXPECT_EQ(mergeScrolls.back(), 6);
}

TEST_F(ListCommands, AddAllSheetsOfADeletedWorkbookSaysSoOnce) {
  const std::string file = AnySheets("x.xlsx");
  AddSource(file, kIconWorkbook);
  SourceEntryClicked(lists, messages, busy);
  fs::remove(file);
  log.events.clear();
  AddAllSheets(lists, messages, busy);
  // The message comes while the hourglass shows; the default pointer follows it.
  EXPECT_EQ(log.events, (Events{"hourglass", std::string("critical: ") + kFileDoesNotExist, "default"}));
  EXPECT_EQ(lists.merges.Count(), 0);
}

TEST_F(ListCommands, AddAllExcelFilesOfAFolderReadsTheTickedWorkbooks) {
  const std::string dir = Folder("all");
  const std::string a = ChartBetween("all/a.xlsx");
  const std::string b = Damaged("all/b.xlsx");
  const std::string c = AnySheets("all/c.xlsx");
  const std::string d = WithMacroSheet("all/d.xlsm");
  const std::string e = (tmp / "all/e.xlsx").string();
  WriteChartOnlyWorkbook(e);
  const std::string f = AnySheets("all/f.xlsx");
  AddSource(dir, kIconFolder);
  SourceEntryClicked(lists, messages, busy);
  ASSERT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"a.xlsx", "b.xlsx", "c.xlsx", "d.xlsm", "e.xlsx", "f.xlsx"}));
  lists.workbooks.SetChecked(3, false);  // c is left out
  fs::remove(f);                         // f has gone since it was listed
  AppendMergeEntry(lists, "/before.xlsx", "S");
  log.events.clear();
  mergeScrolls.clear();

  AddAllExcelFiles(lists, messages, busy);
  EXPECT_EQ(Pairs(lists.merges), (decltype(Pairs(lists.merges)){{"/before.xlsx", "S"},
                                                                  {a, "Sheet1"},
                                                                  {a, "Sheet2"},
                                                                  {d, "Sheet1"},
                                                                  {d, "Sheet2"}}));
  EXPECT_EQ(Ticks(lists.merges), std::vector<bool>(5, true));
  // Only the damaged workbook speaks, with its two messages, and the run goes on after it.
  ASSERT_EQ(log.events.size(), 4u);
  EXPECT_EQ(log.events[0], "hourglass");
  EXPECT_NE(log.events[1].find("b.xlsx"), std::string::npos) << log.events[1];
  EXPECT_EQ(log.events[2], std::string("critical: ") + kOpenExcelFileFailed);
  EXPECT_EQ(log.events[3], "default");
  // Each workbook that succeeded scrolls to its last entry.
  EXPECT_EQ(mergeScrolls, (std::vector<int>{3, 5}));
  // The workbook and sheet lists are as they were.
  EXPECT_EQ(Ticks(lists.workbooks), (std::vector<bool>{true, true, false, true, true, true}));
  EXPECT_EQ(Texts(lists.sheets), (std::vector<std::string>{"Sheet1", "Sheet2"}));

  // Every workbook unticked: nothing added, nothing said.
  for (int i = 1; i <= lists.workbooks.Count(); ++i) lists.workbooks.SetChecked(i, false);
  log.events.clear();
  AddAllExcelFiles(lists, messages, busy);
  EXPECT_EQ(lists.merges.Count(), 5);
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));
}

TEST_F(ListCommands, AddAllExcelFilesOfAFileIgnoresTheWorkbookList) {
  const std::string file = AnySheets("x.xlsx");
  AddSource(file, kIconWorkbook);
  lists.workbooks.Add(ListEntry{"other.xlsx", "", 0, false});
  lists.workbooks.Add(ListEntry{"third.xlsx", "", 0, false});
  AddAllExcelFiles(lists, messages, busy);
  std::vector<std::pair<std::string, std::string>> want;
  for (const std::string& s : kAnySheets) want.emplace_back(file, s);
  EXPECT_EQ(Pairs(lists.merges), want);
  EXPECT_EQ(mergeScrolls, (std::vector<int>{3}));
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));
}

TEST_F(ListCommands, AddAllExcelFilesWithoutAUsableSourceDoesNothing) {
  AddAllExcelFiles(lists, messages, busy);  // empty source list
  AddSource((tmp / "missing").string(), kIconFolder);
  lists.workbooks.Add(ListEntry{"a.xlsx", "", 0, true});
  AddAllExcelFiles(lists, messages, busy);
  EXPECT_EQ(lists.merges.Count(), 0);
  EXPECT_EQ(log.events, (Events{"hourglass", "default", "hourglass", "default"}));
}

TEST_F(ListCommands, AddWorkbookSheetsPassesOverChartOnlyWorkbooksAndReportsBadOnes) {
  const std::string e = (tmp / "charts.xlsx").string();
  WriteChartOnlyWorkbook(e);
  AddWorkbookSheets(lists, e, messages);
  EXPECT_EQ(lists.merges.Count(), 0);
  EXPECT_TRUE(log.events.empty());
  EXPECT_TRUE(mergeScrolls.empty());

  // The chart-only workbook lists no sheets either, without a message.
  AddSource(e, kIconWorkbook);
  SourceEntryClicked(lists, messages, busy);
  EXPECT_EQ(Texts(lists.workbooks), (std::vector<std::string>{"charts.xlsx"}));
  EXPECT_EQ(lists.sheets.Count(), 0);
  EXPECT_EQ(log.events, (Events{"hourglass", "default"}));

  log.events.clear();
  AddWorkbookSheets(lists, (tmp / "nothing.xlsx").string(), messages);
  ASSERT_EQ(log.events.size(), 2u);
  EXPECT_EQ(log.events[1], std::string("critical: ") + kOpenExcelFileFailed);
  EXPECT_EQ(lists.merges.Count(), 0);
}

}  // namespace
}  // namespace corvane
