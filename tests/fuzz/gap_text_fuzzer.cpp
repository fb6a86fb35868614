// The gap box's text as the Merge command reads it.
#include "engine/merge/merge.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<int32_t> gap = corvane::ReadGapText(std::string(reinterpret_cast<const char*>(data), size));
  if (gap && *gap < 0) __builtin_trap();
  return 0;
}
