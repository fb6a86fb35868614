// Names for the sheets of a merge that gives every entry a sheet of its own: the source
// sheet's name, made one a spreadsheet accepts and told apart from the names before it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

namespace corvane {

class SheetNamer {
 public:
  // The name for the next sheet, taken from a sheet named `source`: characters a sheet name
  // may not hold (: \ / ? * [ ]) and apostrophes at its ends become "_", an empty name
  // becomes "Sheet", and the name is cut to 31 characters. A name given before (in any case)
  // gets " (2)", " (3)"... with the name before it cut so that the whole stays within 31.
  std::string Next(std::string_view source);

 private:
  bool Taken(const std::string& name) const;
  std::unordered_set<std::string> taken_;  // every name given, folded to one case
};

}  // namespace corvane
