#include "engine/formula/spreadsheet_formulas.h"

#include "engine/formula/biff_formula.h"
#include "engine/formula/formula_check.h"
#include "engine/formula/formula_shift.h"
#include "engine/formula/ods_formula.h"
#include "engine/formula/xlsb_formula.h"

namespace corvane {

namespace {

class Formulas final : public FormulaServices {
 public:
  ShiftedFormula Shift(std::string_view formula, int32_t dRow, int32_t dCol) const override {
    return ShiftFormula(formula, dRow, dCol);
  }
  std::string SyntaxProblem(std::string_view formula, bool trustPrefixed) const override {
    return FormulaSyntaxProblem(formula, trustPrefixed);
  }
  bool DecompileBiff8(std::string_view rgce, std::string_view extra, int32_t row, int32_t col,
                      const BiffLinks& links, std::string& out) const override {
    return corvane::DecompileBiff8(rgce, extra, row, col, links, out);
  }
  std::unique_ptr<xlsb::TokenDecompiler> Biff12Decompiler(const xlsb::FormulaContext& ctx) const override {
    return std::make_unique<xlsb::FormulaDecompiler>(ctx);
  }
  OdsFormula ConvertOpenFormula(std::string_view attr) const override { return ConvertOdsFormula(attr); }
};

}  // namespace

const FormulaServices& SpreadsheetFormulas() {
  static const Formulas formulas;
  return formulas;
}

}  // namespace corvane
