// An .xlsb package from bytes: its sheets listed, every worksheet loaded, the styles.
#include "engine/containers/zip_package.h"
#include "engine/formula/spreadsheet_formulas.h"
#include "engine/xlsb/xlsb_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  fuzz::OpenAndRead([&] {
    auto pkg = std::make_unique<ZipPackage>(ZipPackage::InMemory{}, std::string(reinterpret_cast<const char*>(data), size),
                                            "fuzz.xlsb");
    return OpenXlsb(std::move(pkg), "fuzz.xlsb", SpreadsheetFormulas());
  });
  return 0;
}
