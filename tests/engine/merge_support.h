// Helpers of the merge tests: recorders for messages and progress, the application a
// successful run shows, sheets of numbers, and a fixture that merges a list and reads the
// result back with openpyxl.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/merge/merge.h"
#include "tests/engine/test_support.h"

namespace corvane::test {

struct Recorder : Messages, Progress {
  std::vector<std::pair<std::string, MessageIcon>> shown;
  std::vector<int> values;
  int maximum = -1;
  void Show(const std::string& t, MessageIcon i) override { shown.emplace_back(t, i); }
  void SetMaximum(int m) override { maximum = m; }
  void SetValue(int v) override { values.push_back(v); }
};

// Takes the application a successful run shows, as the window would.
struct Keeper : ApplicationPresenter {
  std::shared_ptr<Application> shown;
  void present(std::shared_ptr<Application> a) override { shown = a; }
};

// Rows of numbers: cell (r, c) holds base+r*100+c, over rows r1..r2 and columns c1..c2 (1-based).
// `head` goes first inside the sheet data (rows above r1).
inline std::string Block(int r1, int c1, int r2, int c2, int base = 0, const std::string& head = "") {
  std::string x = "<sheetData>" + head;
  for (int r = r1; r <= r2; ++r) {
    x += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = c1; c <= c2; ++c)
      x += "<c r=\"" + std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r) + "\"><v>" +
           std::to_string(base + r * 100 + c) + "</v></c>";
    x += "</row>";
  }
  return x + "</sheetData>";
}

// Runs `script` of tests/scripts on `path` with openpyxl and reads its KEY<TAB>VALUE lines.
inline std::map<std::string, std::string> ReadBack(const char* script, const std::string& path) {
  int status = 0;
  std::string text = Run(std::string(Python()) + " " + ShellQuote((Scripts() / script).string()) + " " + ShellQuote(path), status);
  EXPECT_EQ(status, 0) << text;
  std::map<std::string, std::string> cells;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) {
    auto tab = line.find('\t');
    if (tab != std::string::npos) cells[line.substr(0, tab)] += line.substr(tab + 1);
  }
  return cells;
}

struct MergeFixture : ::testing::Test {
  TempDir tmp;
  MainLists lists;
  Recorder rec;
  Keeper keeper;
  std::string gapText = "0";
  int32_t gapCount = 0;
  MergeOptions options;
  std::map<std::string, std::string> fingerprints;

  void SetUp() override { Application::SetPresenter(&keeper); }
  void TearDown() override {
    Application::SetPresenter(nullptr);
    if (keeper.shown) keeper.shown->Quit();
    keeper.shown.reset();
    EXPECT_EQ(Application::AliveCount(), 0);
    for (auto& [path, bytes] : fingerprints) {
      if (std::filesystem::exists(path)) {
        EXPECT_EQ(ReadAll(path), bytes) << path << " was changed";
      }
    }
  }
  std::string book(const std::string& name, const std::vector<std::pair<std::string, std::string>>& sheets,
                   const std::string& styles = "") {
    auto p = (tmp / name).string();
    WriteWorkbook(p, sheets, "", styles);
    fingerprints[p] = ReadAll(p);
    return p;
  }
  void queue(const std::string& path, const std::string& sheet, bool ticked = true) {
    lists.merges.Add(ListEntry{path, sheet, 0, ticked});
  }
  MergeOutcome merge(int mode = 0) {
    if (keeper.shown) keeper.shown->Quit();
    keeper.shown.reset();
    return MergeCommand(lists.merges, gapText, mode, gapCount, rec, rec, nullptr, options);
  }
  // The merged workbook saved and read by `script` (cells.py: the first sheet's cells,
  // coordinate -> value text).
  std::map<std::string, std::string> result(const char* script = "cells.py") {
    EXPECT_TRUE(keeper.shown);
    if (!keeper.shown) return {};
    auto out = tmp / "merged.xlsx";
    keeper.shown->Workbooks().Item(1).SaveAs(out.string());
    return ReadBack(script, out.string());
  }
};

}  // namespace corvane::test
