// Case folding, trimming and counting characters as spreadsheets count them, the same under
// every locale.
#include "engine/core/text_fold.h"

#include <gtest/gtest.h>

#include "tests/engine/test_support.h"

namespace corvane {
namespace {

TEST(TextFold, LettersOfEveryCommonScriptFold) {
  test::ScopedLocale german(test::kGermanLocale);  // the C library's tolower must play no part
  struct Case {
    const char *a, *b;
    bool equal;
  } cases[] = {
      {"Amount", "aMOUNT", true},   {"ÄÖÜ", "äöü", true},        {"Ærøskøbing", "ÆRØSKØBING", true},
      {"ŁÓDŹ", "łódź", true},       {"ČEŠKÝ", "češký", true},    {"ΣΟΦΊΑ", "σοφία", true},
      {"ΟΔΟΣ", "οδος", true},       {"ЖУРНАЛ", "журнал", true},  {"ẞTRASSE", "ßtrasse", true},
      {"ǅ", "ǆ", true},             {"ＡＢＣ", "ａｂｃ", true},      {"İstanbul", "istanbul", true},
      {"Ä", "A", false},            {"ß", "ss", false},          {"a\xFF", "A\xFF", true},
      {"a\xFF", "a\xFE", false},    {"", "", true},              {"ab", "abc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsFolded(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(FoldCase(c.a) == FoldCase(c.b), c.equal) << c.a << " / " << c.b;
  }
  EXPECT_EQ(FoldCase("ŻÓŁW Größe"), "żółw größe");
}

TEST(TextFold, TrimmingAndCounting) {
  EXPECT_EQ(TrimSpace(" \t Name \r\n"), "Name");
  EXPECT_EQ(TrimSpace("\xC2\xA0Name\xE3\x80\x80"), "Name");  // no-break and ideographic spaces
  EXPECT_EQ(TrimSpace("   "), "");
  EXPECT_EQ(TrimSpace("a b"), "a b");
  EXPECT_EQ(Utf16Length("Straße"), 6u);
  EXPECT_EQ(Utf16Length("\xF0\x9F\x93\x8A"), 2u);
  EXPECT_EQ(CutToUtf16("Straße", 5), "Straß");
  EXPECT_EQ(CutToUtf16("a\xF0\x9F\x93\x8A", 2), "a");  // never half a character
  EXPECT_EQ(CutToUtf16("abc", 10), "abc");
}

}  // namespace
}  // namespace corvane
