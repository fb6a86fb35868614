// A1-style cell addresses: column letters, single cells and rectangular ranges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/model.h"

namespace corvane {

// 0 -> "A", 25 -> "Z", 26 -> "AA", 16383 -> "XFD". Empty for a negative column.
std::string ColumnName(int32_t col0);
// ColumnName appended to `out`, for writers that build text in place.
void AppendColumnName(std::string& out, int32_t col0);

// "A" -> 0, "xfd" -> 16383. -1 unless the text is 1 to 3 letters naming a column
// inside the sheet.
int32_t ParseColumn(std::string_view letters);

// "C5", "$C$5", "c$5" -> row0 = 4, col0 = 2. False (outputs untouched) when the
// text is anything else or names a cell outside the sheet. Does not allocate.
bool ParseA1(std::string_view ref, int32_t& row0, int32_t& col0);

// "C5"; a '$' before the part that is absolute.
std::string FormatA1(int32_t row0, int32_t col0, bool absRow = false, bool absCol = false);

// "A1:B2", "$A$1:$B$2", "B2:A1" (corners are put in order), "A1" (one cell),
// and the whole-column / whole-row forms "A:C" and "1:3". False when the text
// is no range or reaches outside the sheet. Does not allocate.
bool ParseRange(std::string_view text, Rect& out);

// "A1" for a single cell, "A1:B2" otherwise; empty for an empty rectangle.
std::string FormatRange(const Rect& r);

}  // namespace corvane
