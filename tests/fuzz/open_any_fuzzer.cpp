// Any file as the programs open it, told apart by its first bytes (OpenWorkbookBytes).
#include "engine/automation/workbook_open.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  fuzz::OpenAndRead([&] { return OpenWorkbookBytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz"); });
  return 0;
}
