// The merge runs: every ticked merge-list entry's used range, copied into one sheet of a
// new workbook, stacked downwards (vertical) or side by side (horizontal).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/merge/merge_options.h"
#include "lists/list_model.h"
#include "lists/ui_ports.h"

namespace corvane {

struct MergeRun {
  const ListModel& mergeList;
  int32_t gapCount = 0;  // empty rows (vertical) or columns (horizontal) between blocks
  Messages& messages;
  Progress& progress;
  // Set by a failed run: the failure's own description.
  std::string failure;
  MergeOptions options = {};
};

// Returns true when the run ended with the merged workbook shown (the application made
// visible), false when it failed; a failure quits the run's application.
bool MergeVertical(MergeRun& run);
bool MergeHorizontal(MergeRun& run);
// Every ticked entry's used range from A1 of a sheet of its own, named after its source sheet
// (SheetNamer). A formula that refers to another sheet of its workbook that is merged too
// keeps referring to it under its new name. Fails as the vertical merge fails.
bool MergeSheetPerEntry(MergeRun& run);
// Vertical for mode index 0, horizontal for any other, one sheet per entry when the run's
// options say so; shows "Merge Failed!" on failure. Returns what the merge returned.
bool RunMerge(MergeRun& run, int modeIndex);

// Reads the gap box's text as the Merge command does: blanks anywhere are ignored, an
// optional sign, digits with a decimal point (a period whatever the locale), an exponent,
// or &H / &O for hexadecimal and octal; reading stops at the first character that cannot
// continue it. The value is rounded to the nearest whole number, halves to even. Any value
// below 1 is a gap of 0; nullopt for a value above the signed 32-bit range.
std::optional<int32_t> ReadGapText(const std::string& text);

enum class MergeOutcome { NotStarted, Succeeded, Failed };

// The Merge command, button and menu entry alike. Reads and normalises the gap text
// (`gapText` becomes "0" for a value below 1; a value too large is refused with a message), refuses a list without ticked entries, sets
// up the progress bar and runs the merge of `modeIndex` with `options`. `gapCount` keeps the
// value read. `failure` receives a failed run's description.
MergeOutcome MergeCommand(const ListModel& mergeList, std::string& gapText, int modeIndex, int32_t& gapCount,
                          Messages& messages, Progress& progress, std::string* failure = nullptr,
                          const MergeOptions& options = {});

inline constexpr const char* kMergeFailed = "Merge Failed!";
inline constexpr const char* kNothingTicked = "Please select some excel files to Merge!";
inline constexpr const char* kGapTooLarge = "The number of rows or columns between the sheets is too large.";

}  // namespace corvane
