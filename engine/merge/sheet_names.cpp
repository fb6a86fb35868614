#include "engine/merge/sheet_names.h"

#include "engine/core/text_fold.h"

namespace corvane {

namespace {

constexpr size_t kMaxSheetName = 31;  // characters, as spreadsheets count them

// `name` cut to `units` with no apostrophe left at its ends.
std::string Cut(const std::string& name, size_t units) {
  std::string out(CutToUtf16(name, units));
  if (!out.empty() && out.front() == '\'') out.front() = '_';
  if (!out.empty() && out.back() == '\'') out.back() = '_';
  return out;
}

}  // namespace

bool SheetNamer::Taken(const std::string& name) const {
  // The spreadsheet keeps "History" for a workbook's change history.
  return taken_.count(FoldCase(name)) > 0 || EqualsFolded(name, "History");
}

std::string SheetNamer::Next(std::string_view source) {
  std::string base;
  base.reserve(source.size());
  for (char ch : source) {
    bool refused = ch == ':' || ch == '\\' || ch == '/' || ch == '?' || ch == '*' || ch == '[' || ch == ']' ||
                   (static_cast<unsigned char>(ch) < 0x20);
    base += refused ? '_' : ch;
  }
  if (base.empty()) base = "Sheet";
  std::string name = Cut(base, kMaxSheetName);
  for (int k = 2; Taken(name); ++k) {
    std::string suffix = " (" + std::to_string(k) + ")";
    name = Cut(base, kMaxSheetName - suffix.size()) + suffix;
  }
  taken_.insert(FoldCase(name));
  return name;
}

}  // namespace corvane
