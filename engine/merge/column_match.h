// Placing the columns of reports under the headers of the first one: the texts of a header
// row compared trimmed and without regard to case, new headers added at the right.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/core/model.h"

namespace corvane {

// The text a header cell shows for matching: a text as it is, a formula's text result, a
// number in its shortest form ("2024", "1.5"), TRUE or FALSE, an error's literal; empty for
// anything else. Trimmed and folded to one case, so equal keys are equal headers.
std::string HeaderKey(const SheetData& data, int32_t row, int32_t col);

// The keys of columns c1..c2 of `row`.
std::vector<std::string> HeaderKeys(const SheetData& data, int32_t row, int32_t c1, int32_t c2);

class ColumnMatcher {
 public:
  // The first block's headers fix the columns: column k of the result is its column k.
  void Fix(const std::vector<std::string>& keys);

  struct Placement {
    std::vector<int32_t> column;  // for each column of the block, its column in the result (0-based)
    std::vector<bool> added;      // whether that column's header was not seen before: a new column
    bool moved = false;           // whether any column landed elsewhere than at its own position
  };
  // Places a later block's columns. A header seen before goes under that column (the second
  // column of one header under the second such column, and so on); a header not seen before
  // becomes a new column at the right, which later blocks find too; a column without header
  // keeps its position unless a matched column took it there, and goes to the right then.
  Placement Place(const std::vector<std::string>& keys);

  // The result's columns so far.
  int32_t Width() const { return width_; }

 private:
  std::unordered_map<std::string, std::vector<int32_t>> columns_;  // header key -> its columns, in order
  int32_t width_ = 0;
};

}  // namespace corvane
