// Formulas of Excel binary workbooks: parsed tokens (Ptgs in reverse Polish order)
// turned back into the A1 text an .xlsx file stores for the same formula.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/formula_services.h"

namespace corvane::xlsb {

// The decompiler behind TokenDecompiler (the tables, FormulaContext, come with that
// interface). Reuses its buffers: keep one per sheet.
class FormulaDecompiler final : public TokenDecompiler {
 public:
  explicit FormulaDecompiler(const FormulaContext& ctx) : ctx_(ctx) {}
  Decoded decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row, int32_t col,
                    std::string& text) override;

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

// A sheet name as a reference prefix needs it: quoted when it is not a plain word.
void AppendSheetName(std::string& out, std::string_view name);

}  // namespace corvane::xlsb
