// An .ods package from bytes: its sheets listed, every worksheet loaded, the styles.
#include "engine/ods/ods_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::fuzz::ReadPackage(data, size, "fuzz.ods", corvane::OpenOds);
  return 0;
}
