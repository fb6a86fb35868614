// corvane-merge: the merges of the main window, from the command line, for scripts and
// batch work.
//
//   corvane-merge [--horizontal] [--gap TEXT] [OPTION...] --output OUT.xlsx ENTRY...
//   corvane-merge --sheets PATH
//   corvane-merge --help | --version
//
// ENTRY is PATH (every worksheet of that workbook, or of every workbook a folder holds) or
// PATH::SHEET (one worksheet). Exit status: 0 saved, 1 the merge failed, 2 a usage error.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/merge/merge.h"
#include "engine/merge/program_start.h"
#include "lists/path_functions.h"

using namespace corvane;

namespace {

const char* kUsage =
    "usage: corvane-merge [--horizontal] [--gap TEXT] [OPTION...] --output OUT.xlsx ENTRY...\n"
    "       corvane-merge --sheet-per-entry [--no-widths] --output OUT.xlsx ENTRY...\n"
    "       corvane-merge --sheets PATH\n"
    "       corvane-merge --help | --version\n"
    "\n"
    "Merges the used range of every ENTRY's worksheet into one sheet of a new workbook,\n"
    "stacked downwards (or side by side with --horizontal), TEXT empty rows or columns apart,\n"
    "and saves it as OUT.xlsx.\n"
    "\n"
    "  ENTRY              PATH: every worksheet of that workbook, or of every workbook in that folder\n"
    "                     PATH::SHEET: one worksheet\n"
    "  --gap TEXT         rows or columns between the blocks (read like the window's gap box; default 0)\n"
    "  --horizontal       side by side instead of downwards\n"
    "  --header-rows N    the first N rows (columns, side by side) of the first block are kept,\n"
    "                     those of every later block left out (default 0)\n"
    "  --match-headers    downwards, with --header-rows 1 or more: each column goes under the\n"
    "                     first block's column of the same header (the N-th header row, trimmed,\n"
    "                     any case); a new header becomes a new column at the right\n"
    "  --source-column    downwards: a first column with \"file name / sheet name\" on every row\n"
    "                     (\"Source\" in the header rows)\n"
    "  --sheet-per-entry  every entry on a sheet of its own, named after its sheet (no direction,\n"
    "                     gap or header options then)\n"
    "  --no-widths        leave column widths, row heights and hidden rows and columns behind\n"
    "  -o, --output FILE  the .xlsx to write; never one of the sources\n"
    "  --sheets PATH      print the worksheet names of a workbook, one per line, and stop\n"
    "  -h, --help         print this text and stop\n"
    "  --version          print the version and stop\n"
    "\n"
    "Example: corvane-merge --header-rows 1 --match-headers --source-column -o year.xlsx reports/\n"
    "\n"
    "Exit status: 0 saved, 1 the merge failed, 2 a usage error. See corvane-merge(1).\n";

// A count of header rows: digits only, read without regard to the locale.
bool ReadHeaderRows(const std::string& text, int32_t& out) {
  int32_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || text[0] == '-' || v > kMaxHeaderRows)
    return false;
  out = v;
  return true;
}

// The options that contradict one another, or nullptr.
const char* Contradiction(const MergeOptions& o, bool horizontal, bool gapGiven, bool headerGiven) {
  if (o.sheetPerEntry) {
    if (horizontal) return "--sheet-per-entry puts every entry on a sheet of its own: --horizontal does not apply";
    if (gapGiven) return "--sheet-per-entry puts every entry on a sheet of its own: --gap does not apply";
    if (headerGiven || o.matchHeaders || o.sourceColumn)
      return "--sheet-per-entry copies every sheet whole: --header-rows, --match-headers and --source-column do not apply";
  }
  if (o.matchHeaders && o.headerRows < 1) return "--match-headers needs --header-rows 1 or more: the headers to match";
  if (o.matchHeaders && horizontal) return "--match-headers matches the columns of blocks stacked downwards: not with --horizontal";
  if (o.sourceColumn && horizontal) return "--source-column adds a column to blocks stacked downwards: not with --horizontal";
  return nullptr;
}

int Usage(const std::string& why) {
  if (!why.empty()) std::cerr << "corvane-merge: " << why << "\n";
  std::cerr << kUsage;
  return 2;
}

std::vector<std::string> WorksheetNames(const std::string& path) {
  auto app = Application::Create();
  std::vector<std::string> names;
  try {
    Workbook& wb = app->Workbooks().Open(path);
    app->SetDisplayAlerts(false);
    for (int i = 1; i <= wb.Worksheets().Count(); ++i) names.push_back(wb.Worksheets()(i).Name());
    wb.Close();
  } catch (...) {
    app->Quit();
    throw;
  }
  app->Quit();
  return names;
}

void QueueWorkbook(ListModel& merges, const std::string& path) {
  for (const std::string& sheet : WorksheetNames(path)) merges.Add(ListEntry{path, sheet, 0, true});
}

// Queues one command-line entry, as the window's lists would.
void QueueEntry(ListModel& merges, const std::string& entry) {
  auto sep = entry.rfind("::");
  if (sep != std::string::npos) {
    merges.Add(ListEntry{entry.substr(0, sep), entry.substr(sep + 2), 0, true});
    return;
  }
  switch (PathKind(entry)) {
    case 2:
      QueueWorkbook(merges, entry);
      break;
    case 1:
      for (const std::string& name : ScanFolderForWorkbooks(entry)) QueueWorkbook(merges, JoinPath(entry, name));
      break;
    default:
      // Nothing there: the merge passes over it as it passes over a deleted workbook.
      merges.Add(ListEntry{entry, "", 0, true});
      break;
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec))
    return std::filesystem::equivalent(a, b, ec);
  return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

class StderrMessages : public Messages {
 public:
  std::vector<std::string> shown;
  void Show(const std::string& text, MessageIcon) override { shown.push_back(text); }
};

class TerminalProgress : public Progress {
 public:
  TerminalProgress() : tty_(::isatty(2)) {}
  void SetMaximum(int m) override { max_ = m; }
  void SetValue(int v) override {
    if (!tty_) return;
    if (v == 0) std::fprintf(stderr, "\r%*s\r", 40, "");
    else std::fprintf(stderr, "\rmerging %d of %d", v, max_);
    std::fflush(stderr);
  }

 private:
  bool tty_;
  int max_ = 0;
};

// A successful run ends with the merged workbook made visible; here it is kept to be saved.
class KeepShown : public ApplicationPresenter {
 public:
  std::shared_ptr<Application> shown;
  void present(std::shared_ptr<Application> app) override { shown = std::move(app); }
};

}  // namespace

int main(int argc, char** argv) {
  StartEngine();
  bool horizontal = false, gapGiven = false, headerGiven = false;
  MergeOptions options;
  std::string gapText = "0", output, sheetsOf;
  std::vector<std::string> entries;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(std::string(name) + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--help" || a == "-h") {
        std::cout << kUsage;
        return 0;
      } else if (a == "--version") {
        std::cout << "corvane-merge " CORVANE_VERSION "\n";
        return 0;
      } else if (a == "--horizontal") {
        horizontal = true;
      } else if (a == "--gap") {
        gapText = value("--gap");
        gapGiven = true;
      } else if (a == "--header-rows") {
        std::string n = value("--header-rows");
        if (!ReadHeaderRows(n, options.headerRows))
          return Usage("--header-rows takes a whole number from 0 to " + std::to_string(kMaxHeaderRows) + ", not \"" + n + "\"");
        headerGiven = true;
      } else if (a == "--match-headers") {
        options.matchHeaders = true;
      } else if (a == "--source-column") {
        options.sourceColumn = true;
      } else if (a == "--sheet-per-entry") {
        options.sheetPerEntry = true;
      } else if (a == "--no-widths") {
        options.sizes = false;
      } else if (a == "--output" || a == "-o") {
        output = value("--output");
      } else if (a == "--sheets") {
        sheetsOf = value("--sheets");
      } else if (a == "--") {
        for (++i; i < argc; ++i) entries.push_back(argv[i]);
      } else if (a.size() > 1 && a[0] == '-') {
        return Usage("unknown option " + a);
      } else {
        entries.push_back(a);
      }
    } catch (const std::invalid_argument& e) {
      return Usage(e.what());
    }
  }

  if (!sheetsOf.empty()) {
    if (!output.empty() || !entries.empty()) return Usage("--sheets takes one workbook and nothing else");
    try {
      for (const std::string& n : WorksheetNames(sheetsOf)) std::cout << n << "\n";
      return 0;
    } catch (const AutomationError& e) {
      std::cerr << e.description() << "\n";
      return 1;
    }
  }
  if (const char* why = Contradiction(options, horizontal, gapGiven, headerGiven)) return Usage(why);
  if (output.empty()) return Usage("--output is missing");
  if (entries.empty()) return Usage("no workbook or sheet to merge");

  ListModel merges;
  try {
    for (const std::string& e : entries) QueueEntry(merges, e);
  } catch (const AutomationError& e) {
    std::cerr << e.description() << "\n" << kMergeFailed << "\n";
    return 1;
  }
  for (int i = 1; i <= merges.Count(); ++i)
    if (PathKind(merges.Item(i).text) == 2 && SameFile(merges.Item(i).text, output))
      return Usage("the output " + output + " is one of the workbooks to merge; it is never overwritten");
  if (merges.Count() == 0) return Usage("the folders hold no workbook to merge");

  StderrMessages messages;
  TerminalProgress progress;
  KeepShown keeper;
  Application::SetPresenter(&keeper);
  int32_t gapCount = 0;
  std::string failure;
  MergeOutcome outcome =
      MergeCommand(merges, gapText, horizontal ? 1 : 0, gapCount, messages, progress, &failure, options);
  Application::SetPresenter(nullptr);

  switch (outcome) {
    case MergeOutcome::Succeeded: {
      int64_t asValues = 0;
      try {
        Workbook& merged = keeper.shown->Workbooks().Item(1);
        merged.SaveAs(output);
        asValues = merged.FormulasPastedAsValues();
        keeper.shown->Quit();
      } catch (const AutomationError& e) {
        keeper.shown->Quit();
        std::cerr << e.description() << "\n" << kMergeFailed << "\n";
        return 1;
      }
      std::cout << "Saved " << output << ".\n";
      if (asValues > 0)
        std::cout << asValues << (asValues == 1 ? " formula refers" : " formulas refer")
                  << " to other sheets, other workbooks or defined names, or has no formula text here, and "
                  << (asValues == 1 ? "was" : "were") << " pasted as values.\n";
      return 0;
    }
    case MergeOutcome::Failed:
      std::cerr << failure << "\n" << kMergeFailed << "\n";
      return 1;
    case MergeOutcome::NotStarted:
      for (const std::string& m : messages.shown) std::cerr << m << "\n";
      return 2;
  }
  return 1;
}
