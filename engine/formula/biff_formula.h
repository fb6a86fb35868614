// Turns the parsed-expression tokens of a BIFF8 formula back into the A1 text an .xlsx
// stores (no leading '=').
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// What the tokens refer to outside themselves: the workbook's sheets, names and links.
struct BiffLinks {
  enum class Book : uint8_t { Self, AddIn, External, Other };
  struct SupBook {
    Book kind = Book::Other;
    std::vector<std::string> externNames;  // EXTERNNAME records that follow it
  };
  struct Xti {
    uint16_t supBook = 0, first = 0, last = 0;
  };
  std::vector<std::string> sheetNames;  // every sheet, in tab order
  std::vector<SupBook> supBooks;
  std::vector<Xti> externSheets;
  std::vector<std::string> names;       // defined names in NAME record order (as formulas spell them)
};

// Decompiles `rgce` (tokens) with `extra` (the constants of array tokens, which follow the
// tokens in the record) for the cell at (row, col), 0-based; relative tokens of shared
// formulas count from there. Returns false when the tokens have no faithful A1 text: an
// unknown token or function, a link to another workbook, a malformed stream.
bool DecompileBiff8(std::string_view rgce, std::string_view extra, int32_t row, int32_t col, const BiffLinks& links,
                    std::string& out);

// Quotes a sheet name for use before '!' when it needs quoting.
std::string QuoteSheetName(std::string_view name);

}  // namespace corvane
