// BIFF12 (.xlsb) formulas: the one token decompiler (biff_tokens.h) with the operand widths of
// BIFF12 and the tables of the workbook part.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/formula_services.h"
#include "engine/formula/biff_tokens.h"

namespace corvane::xlsb {

// What BIFF12 tokens point to, from the workbook part's external books, sheet ranges and
// defined names (FormulaContext, which comes with the readers' interface).
class ContextLinks final : public biff::TokenLinks {
 public:
  explicit ContextLinks(const FormulaContext& ctx) : ctx_(ctx) {}
  Decoded sheetPrefix(uint16_t ixti, std::string& out) const override;
  Decoded name(uint32_t index, std::string& out) const override;
  Decoded externalName(uint16_t ixti, uint32_t index, std::string& out, bool& addIn) const override;

 private:
  const FormulaContext& ctx_;
};

// The decompiler behind the readers' TokenDecompiler: one per sheet, as it reuses its buffers.
class FormulaDecompiler final : public TokenDecompiler {
 public:
  explicit FormulaDecompiler(const FormulaContext& ctx) : links_(ctx), tokens_(biff::kBiff12Layout, links_) {}
  Decoded decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row, int32_t col,
                    std::string& text) override {
    return tokens_.decompile(rgce, cce, rgcb, cb, row, col, text);
  }

 private:
  ContextLinks links_;
  biff::TokenDecompiler tokens_;
};

}  // namespace corvane::xlsb
