// The writer's text and number forms, and the reader's decoding of the escapes it writes.
#include "engine/writing/xml_out.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "engine/xlsx/xlsx_reader.h"

namespace corvane {
namespace {

std::string Escaped(std::string_view s, XmlText how) {
  ByteBuffer b;
  AppendXml(b, s, how);
  return std::string(b.view());
}

TEST(XmlOut, EscapesWhatXmlCannotCarryByWhereTheTextGoes) {
  struct Case {
    std::string in, content, attribute, cellText;
  };
  const Case cases[] = {
      {"plain text", "plain text", "plain text", "plain text"},
      {"a<b>&\"c\"", "a&lt;b&gt;&amp;\"c\"", "a&lt;b&gt;&amp;&quot;c&quot;", "a&lt;b&gt;&amp;\"c\""},
      {"tab\tline\nreturn\r", "tab\tline\nreturn&#13;", "tab&#9;line&#10;return&#13;",
       "tab\tline\nreturn&#13;"},
      {std::string("bell\x07" "nul", 8) + std::string(1, '\0'), "bell\xEF\xBF\xBDnul\xEF\xBF\xBD",
       "bell\xEF\xBF\xBDnul\xEF\xBF\xBD", "bell_x0007_nul_x0000_"},
      // A literal that reads like an escape keeps its meaning in cell text.
      {"_x000D_ and A_x0030_B", "_x000D_ and A_x0030_B", "_x000D_ and A_x0030_B",
       "_x005F_x000D_ and A_x005F_x0030_B"},
      {"_x12_ _xZZZZ_ _x", "_x12_ _xZZZZ_ _x", "_x12_ _xZZZZ_ _x", "_x12_ _xZZZZ_ _x"},
      // Stray bytes, an overlong form, an encoded surrogate, a cut sequence.
      {"a\xFF" "b\xC0\xAF" "c\xED\xA0\x81" "d\xE2\x82", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD"
       "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "d\xEF\xBF\xBD\xEF\xBF\xBD",
       "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "d\xEF\xBF\xBD\xEF\xBF\xBD",
       "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "d\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"Grüße 日本 😀", "Grüße 日本 😀", "Grüße 日本 😀", "Grüße 日本 😀"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD",
       "_xFFFE__xFFFF_"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Escaped(c.in, XmlText::Content), c.content);
    EXPECT_EQ(Escaped(c.in, XmlText::Attribute), c.attribute);
    EXPECT_EQ(Escaped(c.in, XmlText::CellText), c.cellText);
  }
}

// What the writer escapes in cell text, the reader turns back into the same text.
TEST(XmlOut, CellTextEscapesReadBackAsTheText) {
  for (std::string text : {std::string("_x000D_"), std::string("A_x0030_B"),
                           std::string("ctl\x01\x1F" "end"), std::string("_x005F_x0041_"),
                           std::string("\xEF\xBF\xBF")}) {
    SCOPED_TRACE(text);
    std::string back = Escaped(text, XmlText::CellText);
    DecodeOoxmlEscapes(back);
    EXPECT_EQ(back, text);
  }
}

TEST(XmlOut, CutsTextAtUtf16Units) {
  EXPECT_EQ(CutToUtf16Units("abc", 2), "ab");
  EXPECT_EQ(CutToUtf16Units("a😀b", 2), "a");   // the emoji takes two units
  EXPECT_EQ(CutToUtf16Units("a😀b", 3), "a😀");
  EXPECT_EQ(CutToUtf16Units("日本", 1), "日");
  EXPECT_EQ(CutToUtf16Units("short", 100), "short");
}

std::string Number(double v) {
  char buf[kNumberRoom];
  return std::string(buf, WriteNumber(buf, v));
}

TEST(XmlOut, NumbersAreShortAndExact) {
  EXPECT_EQ(Number(0), "0");
  EXPECT_EQ(Number(-0.0), "-0");
  EXPECT_EQ(Number(100000), "100000");  // whole numbers as a spreadsheet writes them
  EXPECT_EQ(Number(-42), "-42");
  EXPECT_EQ(Number(3.25), "3.25");
  EXPECT_EQ(Number(0.1), "0.1");
  EXPECT_EQ(Number(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(Number(-1.5e-7), "-1.5e-07");
  EXPECT_EQ(Number(1e308), "1e+308");
  EXPECT_EQ(Number(DBL_TRUE_MIN), "5e-324");
  EXPECT_EQ(Number(1e20), "1e+20");
}

// The decimal shortcut gives what to_chars gives, and every text reads back bit for bit.
TEST(XmlOut, NumbersMatchToCharsAndReadBack) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 300000; ++i) {
    double v;
    if (i % 3 == 0) {
      uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) continue;
    } else if (i % 3 == 1) {
      v = static_cast<double>(static_cast<int64_t>(rng() % 2000000000) - 1000000000) /
          std::pow(10.0, static_cast<double>(rng() % 10));
    } else {
      v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80));
    }
    std::string ours = Number(v);
    double back = 0;
    auto r = std::from_chars(ours.data(), ours.data() + ours.size(), back);
    ASSERT_EQ(r.ec, std::errc()) << ours;
    ASSERT_EQ(std::memcmp(&back, &v, sizeof v), 0) << ours;
    if (v != std::trunc(v)) {
      char ref[64];
      std::string expected(ref, std::to_chars(ref, ref + sizeof ref, v).ptr);
      ASSERT_EQ(ours, expected);
    }
  }
}

}  // namespace
}  // namespace corvane
