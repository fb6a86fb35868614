// An .xlsx/.xlsm package from bytes: its sheets listed, every worksheet loaded, the styles.
#include "engine/xlsx/xlsx_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::fuzz::ReadPackage(data, size, "fuzz.xlsx", corvane::OpenXlsx);
  return 0;
}
