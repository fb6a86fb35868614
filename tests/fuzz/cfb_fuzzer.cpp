// The compound file alone: its directory, and every root stream read front to back and at
// an offset past its end.
#include "engine/containers/compound_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  try {
    CompoundFile cfb(CompoundFile::InMemory{}, std::string(reinterpret_cast<const char*>(data), size), "fuzz.xls");
    cfb.findStream("Workbook");
    for (const CompoundFile::Entry& e : cfb.rootEntries()) {
      if (!e.stream) continue;
      CompoundFile::Stream s = cfb.open(e);
      char buf[4096];
      uint64_t pos = 0;
      while (pos < s.size() && pos < (64u << 20)) {
        size_t n = s.read(pos, buf, sizeof buf);
        if (n == 0) break;
        pos += n;
      }
      s.read(s.size() + 1, buf, sizeof buf);
    }
  } catch (const AutomationError&) {
  }
  return 0;
}
