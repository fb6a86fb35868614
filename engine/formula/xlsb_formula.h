// Formulas of Excel binary workbooks: parsed tokens (Ptgs in reverse Polish order)
// turned back into the A1 text an .xlsx file stores for the same formula.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/model.h"

namespace corvane::xlsb {

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

// Decompiles `rgce` (with its extra data `rgcb`) of the formula in cell (row, col).
// Relative references of shared formulas (PtgRefN, PtgAreaN) count from that cell.
// Reuses its buffers: keep one per sheet.
class FormulaDecompiler {
 public:
  explicit FormulaDecompiler(const FormulaContext& ctx) : ctx_(ctx) {}
  Decoded decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row, int32_t col,
                    std::string& text);

 private:
  struct Item {
    std::string text;
    int prec = 0;
    bool isName = false;  // a bare defined name: may be the name of a user or future function
  };
  bool run(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row, int32_t col);
  // Counts the characters a step builds. Text is built by prefixing as well as
  // appending, so hostile tokens could make it quadratic: a formula (and a sheet)
  // that takes more than any real one could is given up.
  void charge(size_t chars);
  Item& push(int prec);
  void binary(std::string_view op, int prec);
  void function(std::string_view name, size_t args);
  void sheetPrefix(uint16_t ixti, std::string& out);

  // Excel's formulas hold at most 8,192 characters and 64 levels of nesting.
  static constexpr size_t kMaxDepth = 1u << 14;
  static constexpr uint64_t kFormulaWork = 1u << 20;
  static constexpr uint64_t kSheetWork = uint64_t{1} << 31;

  const FormulaContext& ctx_;
  uint64_t work_ = 0, spent_ = 0;
  std::vector<Item> stack_;
  size_t top_ = 0;
  bool valueOnly_ = false;
  std::string spaceBefore_, spaceOpen_, spaceClose_, lead_, scratch_;
};

// The error literal ("#DIV/0!") of an error byte as cells and formulas store it.
ErrorCode ErrorFromByte(uint8_t b);

// A sheet name as a reference prefix needs it: quoted when it is not a plain word.
void AppendSheetName(std::string& out, std::string_view name);

}  // namespace corvane::xlsb
