// BIFF8 (.xls) formulas: the one token decompiler (biff_tokens.h) with the operand widths of
// BIFF8 and the workbook's link tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/formula_services.h"

namespace corvane {

// The link tables (BiffLinks) come with the interface the readers use.

// Decompiles `rgce` (tokens) with `extra` (the constants of array tokens, which follow the
// tokens in the record) for the cell at (row, col), 0-based; relative tokens of shared
// formulas count from there. Returns false (and leaves `out` alone) when the tokens have no
// faithful A1 text: an unknown token or function, a link to another workbook, a malformed
// stream.
bool DecompileBiff8(std::string_view rgce, std::string_view extra, int32_t row, int32_t col, const BiffLinks& links,
                    std::string& out);

}  // namespace corvane
