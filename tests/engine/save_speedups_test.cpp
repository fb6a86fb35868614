// The save's own formatting must give what the C library gives, byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "engine/save_speedups.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

std::string Ours(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  int n = FormatSimple(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return n < 0 ? "<refused>" : std::string(buf) + "|" + std::to_string(n);
}

// What the C library writes in the C locale, whatever locale the tests run under.
std::string Libc(const char* fmt, ...) {
  locale_t previous = uselocale(test::CLocale());
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  uselocale(previous);
  return std::string(buf) + "|" + std::to_string(n);
}

void ExpectSameNumber(double v) {
  ASSERT_EQ(Ours("<v>%.16G</v>", v), Libc("<v>%.16G</v>", v)) << std::hexfloat << v;
}

TEST(SaveFormatting, NumbersAreWrittenAsTheCLibraryWritesThem) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {0.0, -0.0, 1.0, -1.0, 0.1, 0.2, 0.3, 8.2, 9.9, 3.25, 2.5, 1.75, 44007.0,
                   0.0001, 0.00012345, 0.000099999999999999, 1e-5, 1e15, 1e15 - 0.5, 1e16,
                   9999999999999998.0, 1e16 + 2, 123456789012345.67, 0.1 + 0.2, 1.0 / 3,
                   2.0 / 3, 5e-324, 1.7976931348623157e308, -2.2250738585072014e-308, inf,
                   -inf, std::nan("")})
    ExpectSameNumber(v);

  // Around every power of ten, where the exponent is easily misjudged.
  for (int p = -8; p <= 18; ++p) {
    double t = std::pow(10.0, p);
    for (double v = t; v < t * 1.0000000000001; v = std::nextafter(v, inf)) ExpectSameNumber(v);
    double v = t;
    for (int i = 0; i < 50; ++i) ExpectSameNumber(v = std::nextafter(v, 0.0));
  }

  std::mt19937_64 rng(20261206);
  // Exact binary fractions: the 17th digit is often exactly 5, where rounding goes to even.
  for (int i = 0; i < 200000; ++i) {
    double v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 70));
    ExpectSameNumber(i % 2 ? v : -v);
  }
  // What sheets hold: amounts with a few decimals, and any bit pattern at all.
  for (int i = 0; i < 200000; ++i) {
    ExpectSameNumber(static_cast<double>(rng() % 100000000) / std::pow(10.0, rng() % 9));
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    ExpectSameNumber(v);
  }
}

TEST(SaveFormatting, TextAndWholeNumbersAndCuts) {
  EXPECT_EQ(Ours("<c r=\"%s\" s=\"%d\"><v>%.16G</v></c>", "XFD1048576", 123, 4.5),
            Libc("<c r=\"%s\" s=\"%d\"><v>%.16G</v></c>", "XFD1048576", 123, 4.5));
  EXPECT_EQ(Ours("%d %d %d%%", 0, -2147483647 - 1, 2147483647), Libc("%d %d %d%%", 0, -2147483647 - 1, 2147483647));
  std::string longText(1000, 'x');
  EXPECT_EQ(Ours("[%s]", longText.c_str()), Libc("[%s]", longText.c_str()));  // cut at 255, counted in full
}

TEST(SaveFormatting, OtherFormatsAreLeftToTheCLibrary) {
  EXPECT_EQ(Ours("%5d", 1), "<refused>");
  EXPECT_EQ(Ours("%.2f", 1.0), "<refused>");
  EXPECT_EQ(Ours("%g", 1.0), "<refused>");
  EXPECT_EQ(Ours("%ld", 1L), "<refused>");
}

TEST(SaveFormatting, StreamsGetTheSameBytes) {
  char* mem = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&mem, &len);
  ASSERT_NE(f, nullptr);
  auto put = [&](const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = FormatSimple(f, fmt, ap);
    va_end(ap);
    return n;
  };
  const char* fmt = "<c r=\"A%d\"><v>%.16G</v></c>";
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    std::string one = Libc(fmt, i, i * 0.37);
    one.resize(one.find('|'));
    EXPECT_EQ(put(fmt, i, i * 0.37), static_cast<int>(one.size()));
    expected += one;
  }
  std::fclose(f);
  EXPECT_EQ(std::string(mem, len), expected);
  std::free(mem);
}

}  // namespace
}  // namespace corvane
