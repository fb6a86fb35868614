// An .xls from bytes (a compound file with a BIFF8 or BIFF5 workbook stream, or a bare BIFF
// stream): its sheets listed, every worksheet loaded, the styles.
#include "engine/formula/spreadsheet_formulas.h"
#include "engine/xls/xls_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  fuzz::OpenAndRead([&] {
    return OpenXlsBytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz.xls", SpreadsheetFormulas());
  });
  return 0;
}
