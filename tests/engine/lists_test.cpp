// The list model's selection rule and the path functions, on real folders.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "lists/path_functions.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

TEST(ListModel, SelectionFollowsTheRules) {
  ListModel l;
  EXPECT_EQ(l.SelectedItem(), nullptr);
  l.Add({"a", ""});
  EXPECT_EQ(l.SelectedIndex(), 1);  // the first entry of an empty list becomes the selected one
  l.Add({"b", ""});
  l.Add({"a", ""});                     // duplicates are allowed
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l.SelectedIndex(), 1);  // later entries do not take the selection
  l.Select(3);
  l.Add(1, {"z", ""});                  // inserting above keeps the same entry selected
  EXPECT_EQ(l.SelectedIndex(), 4);
  EXPECT_EQ(l.SelectedItem()->text, "a");
  l.Remove(4);
  EXPECT_EQ(l.SelectedItem(), nullptr);  // entries but no selection: reads as empty
  l.Select(2);
  l.Remove(1);
  EXPECT_EQ(l.SelectedIndex(), 1);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.SelectedIndex(), 0);
  EXPECT_THROW(l.Item(1), std::out_of_range);
}

struct Paths : ::testing::Test {
  test::TempDir tmp;
  std::string dir, file;
  MainLists lists;
  void SetUp() override {
    dir = (tmp / "Data").string();
    std::filesystem::create_directory(dir);
    file = dir + "/a.xls";
    std::ofstream(file) << "x";
    std::ofstream(dir + "/.hidden.xlsx") << "x";
  }
};

TEST_F(Paths, PathKindTellsFilesFoldersAndNothing) {
  EXPECT_EQ(PathKind(file), 2);
  EXPECT_EQ(PathKind(dir), 1);
  EXPECT_EQ(PathKind(dir + "/"), 1);
  EXPECT_EQ(PathKind(file + "/"), 0);
  EXPECT_EQ(PathKind(dir + "/missing.xls"), 0);
  EXPECT_EQ(PathKind(""), 0);
  EXPECT_EQ(PathKind(dir + "/*.xls"), 0);
  EXPECT_EQ(PathKind(dir + "/a.xl?"), 0);
  EXPECT_EQ(PathKind(dir + "/.hidden.xlsx"), 0);
  EXPECT_EQ(PathKind("/"), 1);
}

TEST_F(Paths, SelectedWorkbookPathJoinsTheSelectedSourceAndWorkbook) {
  EXPECT_EQ(SelectedWorkbookPath(lists), "");  // empty source list
  lists.sources.Add({dir, "", kIconFolder});
  EXPECT_EQ(SelectedWorkbookPath(lists), "");  // folder and no workbook entry
  lists.workbooks.Add({"a.xls", ""});
  EXPECT_EQ(SelectedWorkbookPath(lists), dir + "/a.xls");
  lists.sources.Item(1).text = dir + "/";
  EXPECT_EQ(SelectedWorkbookPath(lists), dir + "/a.xls");  // no doubled separator
  EXPECT_EQ(WorkbookPathAt(lists, 1), dir + "/a.xls");
  EXPECT_EQ(WorkbookPathAt(lists, 2), "");
  std::filesystem::remove(file);
  EXPECT_EQ(SelectedWorkbookPath(lists), "");  // deleted after it was listed
}

TEST_F(Paths, AFileSourceIsItsOwnWorkbook) {
  lists.sources.Add({file, "", kIconWorkbook});
  EXPECT_EQ(SelectedWorkbookPath(lists), file);  // even with an empty workbook list
  lists.workbooks.Add({"other.xls", ""});
  EXPECT_EQ(WorkbookPathAt(lists, 1), file);
}

TEST(JoinPath, RootFolderGetsNoDoubledSeparator) {
  EXPECT_EQ(JoinPath("/", "a.xls"), "/a.xls");
  EXPECT_EQ(JoinPath("/data", "a.xls"), "/data/a.xls");
}

TEST_F(Paths, FolderScanFindsWorkbooksByExtensionSortedWithoutCase) {
  for (const char* n : {"b.xls", "A.XLSX", "c.xlsm", "d.xlsb", "notes.txt", "e.xl", "f.xlsfoo", "g.ods", "xls"})
    std::ofstream(dir + "/" + n) << "x";
  std::filesystem::create_directory(dir + "/folder.xlsx");
  EXPECT_EQ(ScanFolderForWorkbooks(dir),
            (std::vector<std::string>{"a.xls", "A.XLSX", "b.xls", "c.xlsm", "d.xlsb", "f.xlsfoo"}));
  EXPECT_EQ(ScanFolderForWorkbooks(dir + "/"), ScanFolderForWorkbooks(dir));
  EXPECT_TRUE(ScanFolderForWorkbooks(dir + "/missing").empty());
}

}  // namespace
}  // namespace corvane
