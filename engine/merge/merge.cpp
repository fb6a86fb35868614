#include "engine/merge/merge.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/core/cellref.h"
#include "engine/core/number_text.h"
#include "engine/core/text_fold.h"
#include "engine/merge/column_match.h"
#include "engine/merge/prefetch.h"
#include "engine/merge/sheet_names.h"
#include "engine/merge/sheet_sizes.h"
#include "lists/path_functions.h"

namespace corvane {

namespace {

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

// The range of `sheet` over `r` (0-based), as its text addresses name it.
Range RangeOf(Worksheet& sheet, const Rect& r) {
  return sheet.Range(FormatA1(r.r1, r.c1, true, true), FormatA1(r.r2, r.c2, true, true));
}

// What every merge does with the list: one new workbook with one sheet, then every ticked
// entry whose workbook exists, in order, handed to `block` with its sheet while its workbook
// is open (consecutive entries of one workbook share one opening), the progress bar after
// every entry, and `finish` once the last workbook is closed. A failure discards the
// workbook and, with `describe`, shows its description first.
template <typename Block, typename Finish>
bool WalkList(MergeRun& run, bool describe, Block&& block, Finish&& finish) {
  const int32_t n = run.mergeList.Count();
  Prefetcher prefetcher(PlanReads(run.mergeList), Prefetcher::DefaultWorkers());
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
        if (PathKind(path) == 2) {
          if (path != lastPath) {
            if (workbookOpen) {
              app->SetCutCopyMode(false);
              source->Close(true);
            }
            source = &app->Workbooks().Open(path);
            workbookOpen = true;
          }
          block(dest, *source, source->Worksheets()(entry.subText), i);
          lastPath = path;
        }
      }
      run.progress.SetValue(i);
    }

    if (!workbookOpen) throw AutomationError("None of the ticked sheets' workbooks exists any more: there is nothing to merge.");
    app->SetCutCopyMode(false);
    source->Close(true);
    finish(dest);
    app->SetVisible(true);
    destSheet.Cells(1, 1).Select();
    return true;
  } catch (const std::exception& e) {
    run.failure = e.what();
    if (describe) run.messages.Show(run.failure, MessageIcon::Critical);
    if (app) app->Quit();
    return false;
  }
}

// Blocks stacked downwards or side by side on the workbook's one sheet, with the options.
class Stacking {
 public:
  Stacking(const MergeRun& run, bool down)
      : o_(run.options),
        down_(down),
        gap_(std::max<int32_t>(run.gapCount, 0)),  // blocks never overlap
        header_(std::clamp<int32_t>(o_.headerRows, 0, kMaxHeaderRows)),
        match_(down && header_ > 0 && o_.matchHeaders),
        lead_(down && o_.sourceColumn ? 1 : 0),
        sizes_(down) {}

  void Block(Workbook& dest, Workbook& book, Worksheet& sheet) {
    Worksheet& to = dest.Worksheets()(1);
    Range used = sheet.UsedRange();
    int32_t rows = used.Cells().Rows().Count(), cols = used.Cells().Columns().Count();
    Rect r = used.rect();
    // Header rows (columns) of every block but the first are left out; a block that is
    // nothing but them takes no room.
    const int32_t skip = first_ ? 0 : header_;
    if (skip >= (down_ ? rows : cols)) return;
    (down_ ? r.r1 : r.c1) += skip;
    const SheetData& data = sheet.data();

    if (!down_) {
      RangeOf(sheet, r).Copy();
      to.Cells(1, next_).PasteSpecial();
      sizes_.Add(data, r, 0, next_ - 1);
      next_ = Checked32(static_cast<int64_t>(next_) + r.cols() + gap_);
      first_ = false;
      return;
    }

    PasteRules rules;
    std::string label;
    if (lead_) {
      label = book.Name() + " / " + sheet.Name();
      longestLabel_ = std::max(longestLabel_, Utf16Length(label));
      rules.labelCol = 0;
      rules.headRows = first_ ? header_ : 0;
      rules.headText = kSourceHeader;
      rules.labelText = label;
    }
    ColumnMatcher::Placement place;
    if (match_ && first_ && rows >= header_) {
      // The first block fixes the columns, when it has the header row to fix them with.
      matcher_.Fix(HeaderKeys(data, used.rect().r1 + header_ - 1, r.c1, r.c2));
      matching_ = true;
    } else if (matching_) {
      place = matcher_.Place(HeaderKeys(data, used.rect().r1 + header_ - 1, r.c1, r.c2));
    }
    if (!place.moved) {
      RangeOf(sheet, r).Copy();
      to.Cells(next_, 1 + lead_).PasteSpecial(rules);
      sizes_.Add(data, r, next_ - 1, lead_);
    } else {
      pasteApart(to, sheet, r, place, rules);
    }
    // Headers not seen before go into the first block's header row, above their new column.
    PasteRules header;
    header.intoEmpty = true;
    header.apartC1 = r.c1;
    header.apartC2 = r.c2;
    header.columnsMoved = true;
    for (size_t k = 0; k < place.added.size(); ++k) {
      if (!place.added[k]) continue;
      const int32_t row = used.rect().r1 + header_ - 1, c = r.c1 + static_cast<int32_t>(k);
      RangeOf(sheet, Rect{row, c, row, c}).Copy();
      to.Cells(header_, 1 + lead_ + place.column[k]).PasteSpecial(header);
    }
    next_ = Checked32(static_cast<int64_t>(next_) + r.rows() + gap_);
    first_ = false;
  }

  void Finish(Workbook& dest) {
    if (!o_.sizes) return;
    if (lead_) {
      // The source column wide enough for its longest text.
      double width = std::min(255.0, static_cast<double>(std::max(longestLabel_, Utf16Length(kSourceHeader))) + 1);
      if (width > kDefaultColumnWidth) sizes_.SetOwnColumn(0, width);
    }
    sizes_.Apply(dest.Worksheets()(1));
  }

 private:
  // A block whose columns go to other places than their own: pasted a run of neighbouring
  // columns at a time.
  void pasteApart(Worksheet& to, Worksheet& sheet, const Rect& r, const ColumnMatcher::Placement& place, PasteRules rules) {
    const auto n = static_cast<size_t>(r.cols());
    rules.apartC1 = r.c1;
    rules.apartC2 = r.c2;
    rules.intoEmpty = true;
    for (size_t k = 0; k < n;) {
      size_t end = k + 1;
      while (end < n && place.column[end] == place.column[end - 1] + 1) ++end;
      const auto c1 = r.c1 + static_cast<int32_t>(k), c2 = r.c1 + static_cast<int32_t>(end) - 1;
      rules.columnsMoved = place.column[k] != static_cast<int32_t>(k);
      RangeOf(sheet, Rect{r.r1, c1, r.r2, c2}).Copy();
      to.Cells(next_, 1 + lead_ + place.column[k]).PasteSpecial(rules);
      rules.labelCol = -1;  // the labels went with the first run
      k = end;
    }
    std::vector<int32_t> cols(place.column);
    for (int32_t& c : cols) c += lead_;
    sizes_.Add(sheet.data(), r, next_ - 1, lead_, &cols);
  }

  const MergeOptions o_;
  const bool down_;
  const int64_t gap_;
  const int32_t header_;
  const bool match_;
  const int32_t lead_;  // columns before the blocks: the source column
  int32_t next_ = 1;    // the row (column) the next block starts at
  bool first_ = true;
  bool matching_ = false;
  ColumnMatcher matcher_;
  SheetSizes sizes_;
  size_t longestLabel_ = 0;
};

bool Stack(MergeRun& run, bool down) {
  Stacking stacking(run, down);
  return WalkList(
      run, down, [&](Workbook& dest, Workbook& book, Worksheet& sheet, int32_t) { stacking.Block(dest, book, sheet); },
      [&](Workbook& dest) { stacking.Finish(dest); });
}

}  // namespace

bool MergeVertical(MergeRun& run) { return Stack(run, true); }
bool MergeHorizontal(MergeRun& run) { return Stack(run, false); }

bool MergeSheetPerEntry(MergeRun& run) {
  // Every sheet's name is known before the first is read: a formula may refer to a sheet
  // merged after its own.
  SheetNamer namer;
  std::vector<std::string> names(static_cast<size_t>(run.mergeList.Count()) + 1);
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> renamed;  // path -> folded sheet -> new name
  for (int32_t i = 1; i <= run.mergeList.Count(); ++i) {
    const ListEntry& entry = run.mergeList.Item(i);
    if (!entry.checked || PathKind(entry.text) != 2) continue;
    names[static_cast<size_t>(i)] = namer.Next(entry.subText);
    renamed[entry.text].emplace(FoldCase(entry.subText), names[static_cast<size_t>(i)]);
  }
  int32_t made = 0;
  auto block = [&](Workbook& dest, Workbook& book, Worksheet& sheet, int32_t i) {
    Worksheet& to = made++ == 0 ? dest.Worksheets()(1) : dest.Worksheets().Add();
    to.SetName(names[static_cast<size_t>(i)]);
    const auto& sheets = renamed[book.FullName()];
    std::unordered_map<std::string, MovedSheet> moved;
    MovedSheetLookup find = [&](std::string_view name) -> const MovedSheet* {
      std::string key = FoldCase(name);
      auto it = sheets.find(key);
      if (it == sheets.end()) return nullptr;
      auto known = moved.find(key);
      if (known != moved.end()) return &known->second;
      Rect used;
      try {
        used = book.Worksheets()(std::string(name)).UsedRange().rect();
      } catch (const AutomationError&) {
        return nullptr;  // queued, but not in the workbook: its own entry fails the run
      }
      return &moved.emplace(key, MovedSheet{it->second, -used.r1, -used.c1}).first->second;
    };
    Range used = sheet.UsedRange();
    RangeOf(sheet, used.rect()).Copy();
    PasteRules rules;
    rules.sheets = &find;
    to.Cells(1, 1).PasteSpecial(rules);
    if (run.options.sizes) {
      SheetSizes sizes(true);
      sizes.Add(sheet.data(), used.rect(), 0, 0);
      sizes.Apply(to);
    }
  };
  return WalkList(run, true, block, [](Workbook&) {});
}

bool RunMerge(MergeRun& run, int modeIndex) {
  bool ok = run.options.sheetPerEntry ? MergeSheetPerEntry(run) : modeIndex == 0 ? MergeVertical(run) : MergeHorizontal(run);
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
                          Messages& messages, Progress& progress, std::string* failure, const MergeOptions& options) {
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
  MergeRun run{mergeList, gapCount, messages, progress, {}, options};
  bool ok = RunMerge(run, modeIndex);
  progress.SetValue(0);
  if (failure) *failure = run.failure;
  return ok ? MergeOutcome::Succeeded : MergeOutcome::Failed;
}

}  // namespace corvane
