// The number-format compiler and renderer: 8 bytes of a double in front, then the format
// code; the number, its negative, a text and both date systems go through it.
#include <cmath>
#include <cstring>

#include "engine/core/number_format.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  if (size < 8) return 0;
  double v;
  std::memcpy(&v, data, 8);
  if (!std::isfinite(v)) return 0;  // a cell never holds one
  NumberFormat f(std::string_view(reinterpret_cast<const char*>(data) + 8, size - 8));
  f.Number(v);
  f.Number(-v, true);
  f.Number(v * 1e-10);
  f.Text("text");
  f.IsDateTime();
  f.ShowsDate();
  return 0;
}
