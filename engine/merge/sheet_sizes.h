// Column widths and row heights of a merged sheet, gathered block by block and set once the
// blocks are in. Stacked blocks share columns and bring their own rows; blocks side by side
// share rows and bring their own columns. A shared column (row) takes the widest width
// (tallest height) of the blocks that hold it, the default counting as its own size, and is
// hidden only when every such block hides it; an own row (column) keeps its block's height
// (width) and hiding.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/core/model.h"

namespace corvane {

class Worksheet;

class SheetSizes {
 public:
  // `stacked`: blocks one below the other; otherwise side by side, every block from row 1.
  explicit SheetSizes(bool stacked) : stacked_(stacked) {}

  // A block: rows r1..r2 and columns c1..c2 of `src` (0-based) landed with its row r1 at row
  // `row` of the destination and its column c1 + k at `cols[k]` (without `cols`: at col + k).
  void Add(const SheetData& src, const Rect& block, int32_t row, int32_t col, const std::vector<int32_t>* cols = nullptr);
  // A destination column no block brings, with a width of its own (a column Corvane adds).
  void SetOwnColumn(int32_t col, double width);
  // Sets the gathered sizes on `sheet`.
  void Apply(Worksheet& sheet) const;

 private:
  // What the blocks holding a shared column or row said of it.
  struct Shared {
    double size = -1;        // the largest size of its own any block gave; below 0: none did
    bool anyDefault = false; // a block left it at the default size
    bool allHidden = true;
    int32_t blocks = 0;      // blocks that said something of it
  };
  struct Own {
    int32_t index;
    double size;
    bool hidden;
  };
  static void Take(Shared& s, double size, bool hidden);

  bool stacked_;
  std::vector<Shared> sharedCols_;                  // stacked: by destination column
  std::unordered_map<int32_t, Shared> sharedRows_;  // side by side: rows some block sized or hid
  std::vector<int32_t> heights_;                    // side by side: every block's row count
  std::vector<Own> own_;                            // rows (stacked) or columns, in order
};

}  // namespace corvane
