// The .xlsx reader with the XML parts fuzzed directly (parts_package.h builds the package).
#include "engine/containers/zip_package.h"
#include "engine/formula/spreadsheet_formulas.h"
#include "engine/xlsx/xlsx_reader.h"
#include "tests/fuzz/parts_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  std::string zip = fuzz::PartsPackage(std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::OpenAndRead([&] {
    auto pkg = std::make_unique<ZipPackage>(ZipPackage::InMemory{}, std::move(zip), "fuzz.xlsx");
    return OpenXlsx(std::move(pkg), "fuzz.xlsx", SpreadsheetFormulas());
  });
  return 0;
}
