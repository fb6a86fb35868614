#include "engine/merge/merge.h"

#include <algorithm>
#include <cmath>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/core/number_text.h"
#include "engine/merge/prefetch.h"
#include "lists/path_functions.h"

namespace corvane {

namespace {

enum class Direction { Down, Right };

int32_t Checked32(int64_t v) {
  if (v > INT32_MAX || v < INT32_MIN)
    throw AutomationError("The next block would start beyond the last row or column a sheet can have.");
  return static_cast<int32_t>(v);
}

// The workbooks the run below will open, in its order, with the sheets it will copy.
std::vector<Prefetcher::Job> PlanReads(const ListModel& mergeList) {
  std::vector<Prefetcher::Job> jobs;
  for (int32_t i = 1; i <= mergeList.Count(); ++i) {
    const ListEntry& entry = mergeList.Item(i);
    if (!entry.checked || PathKind(entry.text) != 2) continue;
    if (jobs.empty() || jobs.back().path != entry.text) jobs.push_back({entry.text, {}});
    jobs.back().sheets.push_back(entry.subText);
  }
  return jobs;
}

// Stops the application asking the prefetcher, which dies with the run, for readers.
struct SourceScope {
  std::shared_ptr<Application>& app;
  ~SourceScope() {
    if (app) app->SetWorkbookSource(nullptr);
  }
};

// One run over the merge list. Both merges are this run; they differ in where the next
// block goes and in what a failure shows.
bool Merge(MergeRun& run, Direction dir) {
  const int32_t n = run.mergeList.Count();
  const int64_t gap = std::max<int32_t>(run.gapCount, 0);  // blocks never overlap
  Prefetcher prefetcher(PlanReads(run.mergeList), Prefetcher::DefaultWorkers());
  int32_t next = 1;
  std::string lastPath;
  bool workbookOpen = false;
  std::shared_ptr<Application> app;
  Workbook* source = nullptr;
  SourceScope sourceScope{app};
  try {
    app = Application::Create();
    app->SetWorkbookSource(&prefetcher);
    app->SetVisible(false);
    Workbook& dest = app->Workbooks().Add();
    Worksheet& destSheet = dest.Worksheets()(1);
    for (int32_t k = dest.Sheets().Count(); k >= 2; --k) dest.Sheets()(k).Delete();

    for (int32_t i = 1; i <= n; ++i) {
      const ListEntry& entry = run.mergeList.Item(i);
      if (entry.checked) {
        const std::string& path = entry.text;
        const std::string& sheetName = entry.subText;
        if (PathKind(path) == 2) {
          if (path != lastPath) {
            if (workbookOpen) {
              app->SetCutCopyMode(false);
              source->Close(true);
            }
            source = &app->Workbooks().Open(path);
            workbookOpen = true;
          }
          Worksheet& sheet = source->Worksheets()(sheetName);
          Range used = sheet.UsedRange();
          int32_t rows = used.Cells().Rows().Count(), cols = used.Cells().Columns().Count();
          std::string topLeft = used.Cells(1, 1).Address();
          std::string bottomRight = used.Cells(rows, cols).Address();
          sheet.Range(topLeft, bottomRight).Copy();
          // The block takes its used range's rows (columns) from next on, an empty sheet's A1
          // included, and the next block starts after the last of them and the gap. The
          // destination's used range cannot tell where that is: it starts below row 1 (right
          // of column 1) after empty blocks, and formats that look like the default leave no
          // cell behind.
          if (dir == Direction::Down) {
            destSheet.Cells(next, 1).PasteSpecial();
            next = Checked32(static_cast<int64_t>(next) + rows + gap);
          } else {
            destSheet.Cells(1, next).PasteSpecial();
            next = Checked32(static_cast<int64_t>(next) + cols + gap);
          }
          lastPath = path;
        }
      }
      run.progress.SetValue(i);
    }

    if (!workbookOpen) throw AutomationError("None of the ticked sheets' workbooks exists any more: there is nothing to merge.");
    app->SetCutCopyMode(false);
    source->Close(true);
    app->SetVisible(true);
    destSheet.Cells(1, 1).Select();
    return true;
  } catch (const std::exception& e) {
    run.failure = e.what();
    if (dir == Direction::Down) run.messages.Show(run.failure, MessageIcon::Critical);
    if (app) app->Quit();
    return false;
  }
}

}  // namespace

bool MergeVertical(MergeRun& run) { return Merge(run, Direction::Down); }
bool MergeHorizontal(MergeRun& run) { return Merge(run, Direction::Right); }

bool RunMerge(MergeRun& run, int modeIndex) {
  bool ok = modeIndex == 0 ? MergeVertical(run) : MergeHorizontal(run);
  if (!ok) run.messages.Show(kMergeFailed, MessageIcon::Critical);
  return ok;
}

std::optional<int32_t> ReadGapText(const std::string& raw) {
  std::string s;
  for (char c : raw)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
  auto digitOf = [](char c, int base) {
    int d = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : 99;
    return d < base ? d : -1;
  };
  double value = 0;
  if (s.size() >= 2 && s[0] == '&' && ((s[1] | 0x20) == 'h' || (s[1] | 0x20) == 'o')) {
    int base = (s[1] | 0x20) == 'h' ? 16 : 8;
    for (size_t i = 2; i < s.size() && digitOf(s[i], base) >= 0; ++i) value = value * base + digitOf(s[i], base);
  } else {
    // Sign, digits, a decimal point (a period in every language), an exponent: as much of it
    // as stands there.
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    for (; i < s.size() && digitOf(s[i], 10) >= 0; ++i) digits = true;
    if (i < s.size() && s[i] == '.')
      for (++i; i < s.size() && digitOf(s[i], 10) >= 0; ++i) digits = true;
    if (digits && i < s.size() && (s[i] | 0x20) == 'e') {
      size_t j = i + 1;
      if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
      if (j < s.size() && digitOf(s[j], 10) >= 0) {
        while (j < s.size() && digitOf(s[j], 10) >= 0) ++j;
        i = j;
      }
    }
    // Beyond the double range the value reads as the largest double or as 0.
    if (digits) ParseNumberText(std::string_view(s).substr(0, i), value);
  }
  if (!(value >= 1)) return 0;  // any value below 1, however far, is no gap at all
  double rounded = std::nearbyint(value);  // the default rounding mode sends halves to even
  if (rounded > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(rounded);
}

MergeOutcome MergeCommand(const ListModel& mergeList, std::string& gapText, int modeIndex, int32_t& gapCount,
                          Messages& messages, Progress& progress, std::string* failure) {
  const int n = mergeList.Count();
  std::optional<int32_t> gap = ReadGapText(gapText);
  if (!gap) {
    messages.Show(kGapTooLarge, MessageIcon::Information);
    return MergeOutcome::NotStarted;
  }
  gapCount = *gap;
  if (gapCount == 0) gapText = "0";
  int ticked = 0;
  for (int i = 1; i <= n; ++i) ticked += mergeList.Item(i).checked;
  if (ticked == 0) {
    messages.Show(kNothingTicked, MessageIcon::Information);
    return MergeOutcome::NotStarted;
  }
  progress.SetMaximum(n);
  MergeRun run{mergeList, gapCount, messages, progress, {}};
  bool ok = RunMerge(run, modeIndex);
  progress.SetValue(0);
  if (failure) *failure = run.failure;
  return ok ? MergeOutcome::Succeeded : MergeOutcome::Failed;
}

}  // namespace corvane
