// The options of a merge beyond its direction and gap: how to combine reports that share a
// header, and whether sizes come along. At their defaults a merge copies every block as it is.
#pragma once

#include <cstdint>

namespace corvane {

struct MergeOptions {
  // Vertical: the first N rows of the first block are kept and the first N rows of every
  // later block left out; horizontal: the first N columns likewise. A block with no more
  // than N rows (columns) then holds nothing and takes no room.
  int32_t headerRows = 0;
  // Vertical, with headerRows >= 1: a later block's columns go under the column of the first
  // block whose header (the N-th header row, trimmed, without regard to case) is the same.
  bool matchHeaders = false;
  // Vertical: a first column naming, on each row, the workbook's file name and the sheet.
  bool sourceColumn = false;
  // Every entry on a sheet of its own instead of one sheet; direction and gap do not apply.
  bool sheetPerEntry = false;
  // Column widths and row heights (and hidden rows and columns) come along.
  bool sizes = true;

  bool operator==(const MergeOptions&) const = default;
};

// The largest number of header rows: every row a sheet has.
inline constexpr int32_t kMaxHeaderRows = 1048576;

// What the source column says in the header rows.
inline constexpr const char* kSourceHeader = "Source";

}  // namespace corvane
