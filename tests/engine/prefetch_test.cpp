// Reading ahead must change nothing but the time a merge takes.
#include <gtest/gtest.h>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/merge/prefetch.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

std::string Numbers(int first, int rows) {
  std::string x = "<sheetData>";
  for (int r = 1; r <= rows; ++r)
    x += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
         std::to_string(first + r) + "</v></c></row>";
  return x + "</sheetData>";
}

struct ReadingAhead : ::testing::Test {
  test::TempDir tmp;
  std::string book(const std::string& name, int first) {
    auto p = (tmp / name).string();
    test::WriteWorkbook(p, {{"S1", Numbers(first, 5)}, {"S2", Numbers(first + 50, 3)}});
    return p;
  }
  // Value of A1 of each sheet, as the merge would read them through `source`.
  std::vector<double> readAll(WorkbookSource* source, const std::vector<Prefetcher::Job>& jobs) {
    auto app = Application::Create();
    app->SetWorkbookSource(source);
    std::vector<double> got;
    for (auto& job : jobs) {
      Workbook& wb = app->Workbooks().Open(job.path);
      for (auto& s : job.sheets) got.push_back(wb.Worksheets()(s).UsedRange().Rows().Count() * 1000.0 +
                                               wb.Worksheets()(s).data().cells.front().num);
      wb.Close();
    }
    app->SetWorkbookSource(nullptr);
    app->Quit();
    return got;
  }
};

TEST_F(ReadingAhead, GivesWhatTheFilesHoldInTheOrderAsked) {
  std::vector<Prefetcher::Job> jobs;
  for (int i = 0; i < 12; ++i) jobs.push_back({book("b" + std::to_string(i) + ".xlsx", i * 100), {"S2", "S1"}});
  jobs.push_back(jobs[3]);  // a workbook that comes back after others is read again
  auto plain = readAll(nullptr, jobs);
  for (unsigned workers : {1u, 2u, 4u}) {
    Prefetcher ahead(jobs, workers);
    EXPECT_EQ(readAll(&ahead, jobs), plain) << workers << " workers";
    EXPECT_EQ(ahead.served(), static_cast<int>(jobs.size()));
  }
  EXPECT_EQ(Application::AliveCount(), 0);
}

TEST_F(ReadingAhead, FailuresSurfaceWhereTheMergeMeetsThem) {
  std::string a = book("a.xlsx", 0), gone = book("gone.xlsx", 100), c = book("c.xlsx", 200);
  std::filesystem::remove(gone);
  Prefetcher ahead({{a, {"S1"}}, {gone, {"S1"}}, {c, {"Nope"}}}, 2);
  auto app = Application::Create();
  app->SetWorkbookSource(&ahead);
  EXPECT_NO_THROW(app->Workbooks().Open(a).Worksheets()("S1").UsedRange());
  // A deleted file fails with the words it fails with unread ahead.
  const std::string plain = test::FailureOf<AutomationError>([&] { OpenWorkbookFile(gone); });
  EXPECT_NE(plain.find("gone.xlsx"), std::string::npos) << plain;
  EXPECT_EQ(test::FailureOf<AutomationError>([&] { app->Workbooks().Open(gone); }), plain);
  // A sheet that is not there is the merge's own failure, with its own words.
  Workbook& wc = app->Workbooks().Open(c);
  EXPECT_THROW(wc.Worksheets()("Nope"), AutomationError);
  EXPECT_EQ(wc.Worksheets()("S1").UsedRange().Address(), "$A$1:$A$5");
  app->SetWorkbookSource(nullptr);
  app->Quit();
}

TEST_F(ReadingAhead, PathsOutOfPlanAndEarlyEndsAreSafe) {
  std::vector<Prefetcher::Job> jobs;
  for (int i = 0; i < 8; ++i) jobs.push_back({book("b" + std::to_string(i) + ".xlsx", i), {"S1"}});
  {
    Prefetcher ahead(jobs, 2);
    // Skips two planned jobs, then asks for one that was never planned: both still work.
    EXPECT_NE(ahead.open(jobs[2].path), nullptr);
    EXPECT_NE(ahead.open(book("extra.xlsx", 9)), nullptr);
    EXPECT_NE(ahead.open(jobs[3].path), nullptr);
    // Destroyed with reads under way and jobs left: waits for the reads, leaks nothing.
  }
  Prefetcher none(jobs, 0);
  EXPECT_NE(none.open(jobs[0].path), nullptr);
  EXPECT_EQ(none.served(), 0);
}

}  // namespace
}  // namespace corvane
