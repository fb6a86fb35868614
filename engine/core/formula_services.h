// What the readers need of the formula layer while they read, as a small interface: they
// hand over formula text or tokens with the workbook's link tables and get formula text
// back. The formula layer implements it (engine/formula/spreadsheet_formulas.h); opening a
// workbook passes that implementation to the reader, so no reader depends on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// ---------------------------------------------------------------------------
// Formula text

struct ShiftedFormula {
  std::string text;      // the formula text moved by (dRow, dCol), without a leading '='
  bool keepsMeaning = true;  // false when it refers to another sheet, another workbook, a defined name or a table (structured reference)
};

struct OdsFormula {
  std::string text;        // without the leading '='; empty when nothing could be made of it
  bool valueOnly = false;  // no faithful A1 text: paste the cached result instead
};

// ---------------------------------------------------------------------------
// BIFF8 (.xls) tokens

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

// ---------------------------------------------------------------------------
// BIFF12 (.xlsb) tokens

namespace xlsb {

// What the workbook part says about the books and sheets 3-D references point to.
enum class SupBookKind : uint8_t { Self, Same, External, Addin };

struct SupBook {
  SupBookKind kind = SupBookKind::Self;
  int externalIndex = 0;             // External: 1-based among the external books ("[1]")
  std::vector<std::string> sheets;   // External: its sheet names
  std::vector<std::string> names;    // External and Addin: its names, for PtgNameX
};

struct ExternSheet {
  int32_t supBook = -1;
  int32_t first = -1, last = -1;  // sheet indices; -1 for a deleted sheet, -2 for the whole book
};

struct DefinedName {
  std::string name;
  int32_t scope = -1;  // sheet index for a name local to a sheet, -1 for the workbook
};

// Workbook-level tables a formula's tokens refer into.
struct FormulaContext {
  std::vector<std::string> sheetNames;  // every sheet in tab order
  std::vector<SupBook> supBooks;
  std::vector<ExternSheet> externSheets;
  std::vector<DefinedName> names;       // PtgName index - 1
};

enum class Decoded : uint8_t {
  Formula,    // text is the formula
  ValueOnly,  // text is the best approximation; the cached value is what counts
  NotFormula, // a data-table cell or tokens that cannot be read: keep only the value
};

// Decompiles the tokens of one sheet's formulas, reusing its buffers from one formula to the
// next: one per sheet.
class TokenDecompiler {
 public:
  virtual ~TokenDecompiler() = default;
  // Decompiles `rgce` (with its extra data `rgcb`) of the formula in cell (row, col).
  // Relative references of shared formulas (PtgRefN, PtgAreaN) count from that cell.
  virtual Decoded decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row,
                            int32_t col, std::string& text) = 0;
};

}  // namespace xlsb

// ---------------------------------------------------------------------------

class FormulaServices {
 public:
  virtual ~FormulaServices() = default;

  // `formula` (no leading '=') moved as a paste moves it by dRow rows and dCol columns.
  virtual ShiftedFormula Shift(std::string_view formula, int32_t dRow, int32_t dCol) const = 0;

  // Empty when the spreadsheet takes `formula` (no leading '='), else what is wrong first.
  // With `trustPrefixed`, functions with the _xlfn. prefix unknown to the catalogue pass.
  virtual std::string SyntaxProblem(std::string_view formula, bool trustPrefixed) const = 0;

  // BIFF8 tokens `rgce` with the constants of their array tokens `extra` of the formula in
  // cell (row, col), 0-based, as A1 text; false when they have no faithful text.
  virtual bool DecompileBiff8(std::string_view rgce, std::string_view extra, int32_t row, int32_t col,
                              const BiffLinks& links, std::string& out) const = 0;

  // A decompiler of BIFF12 tokens for one sheet of a workbook with these tables; `ctx` must
  // outlive it.
  virtual std::unique_ptr<xlsb::TokenDecompiler> Biff12Decompiler(const xlsb::FormulaContext& ctx) const = 0;

  // An OpenFormula table:formula attribute as stored, namespace prefix included, as A1 text.
  virtual OdsFormula ConvertOpenFormula(std::string_view attr) const = 0;
};

}  // namespace corvane
