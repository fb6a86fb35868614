// The OpenDocument formula converter: a table:formula attribute as stored.
#include "engine/formula/ods_formula.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::OdsFormula f = corvane::ConvertOdsFormula(std::string_view(reinterpret_cast<const char*>(data), size));
  volatile size_t sink = f.text.size();
  (void)sink;
  return 0;
}
