// The formula shifter: a formula text moved by an offset (two 16-bit numbers in front), to
// its own sheet and to moved sheets, and the column check of matched merges. A formula
// shifted there and back is the same, when no reference left the sheet.
#include <cstdio>

#include "engine/formula/formula_shift.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  fuzz::Bytes in{std::string_view(reinterpret_cast<const char*>(data), size)};
  auto dRow = static_cast<int32_t>(static_cast<int16_t>(in.u16())) * 16;
  auto dCol = static_cast<int32_t>(static_cast<int16_t>(in.u16()));
  std::string_view formula = in.rest;
  ShiftedFormula moved = ShiftFormula(formula, dRow, dCol);
  if (moved.text.find("#REF!") == std::string::npos && formula.find("#REF!") == std::string_view::npos) {
    // Moved there and back, a formula is itself again, once written the way the shifter
    // writes references (F1 for f1, 1:19 for 01:19).
    std::string back = ShiftFormula(moved.text, -dRow, -dCol).text;
    std::string again = ShiftFormula(ShiftFormula(back, dRow, dCol).text, -dRow, -dCol).text;
    if (again != back) {
      std::fprintf(stderr, "back: %s\nagain: %s\n", back.c_str(), again.c_str());
      __builtin_trap();
    }
  }
  MovedSheet sheet{"Moved sheet", dCol, dRow};
  ShiftFormulaToMovedSheets(formula, dRow, dCol, [&](std::string_view name) -> const MovedSheet* {
    return name == "Sheet1" || name == "A" ? &sheet : nullptr;
  });
  ReachesOtherColumns(formula, dCol & 0x3FFF, 0, (dRow & 0x3FFF), dRow & 1);
  return 0;
}
