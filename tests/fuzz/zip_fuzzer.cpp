// The zip container alone: the parts a workbook reader asks for, read whole, streamed and
// read piecewise, each within a limit.
#include "engine/containers/zip_package.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  static const char* const kParts[] = {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/workbook.bin",
                                       "xl/worksheets/sheet1.xml", "mimetype", "content.xml", "META-INF/manifest.xml",
                                       "/xl/styles.xml", "a", ""};
  try {
    ZipPackage pkg(ZipPackage::InMemory{}, std::string(reinterpret_cast<const char*>(data), size), "fuzz.zip");
    for (const char* part : kParts) {
      if (!pkg.has(part)) continue;
      try {
        std::string whole = pkg.read(part, 1u << 20);
        size_t streamed = 0;
        pkg.stream(part, [&](const char*, size_t n) { streamed += n; });
        if (streamed != whole.size()) __builtin_trap();
        auto in = pkg.open(part);
        char buf[333];
        size_t piecewise = 0;
        while (size_t n = in->read(buf, sizeof buf)) piecewise += n;
        if (piecewise != whole.size()) __builtin_trap();
      } catch (const AutomationError&) {
      }
    }
  } catch (const AutomationError&) {
  }
  return 0;
}
