#include "engine/core/number_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "engine/core/builtin_formats.h"

namespace corvane {
namespace {

// One number through one format code, and the text the cell shows.
struct Case {
  const char* code;
  double value;
  const char* text;
};

void ExpectAll(const std::vector<Case>& cases, bool date1904 = false) {
  for (const Case& c : cases) {
    RenderedValue r = NumberFormat(c.code).Number(c.value, date1904);
    EXPECT_EQ(r.text, c.text) << "code " << c.code << " value " << c.value;
    EXPECT_EQ(r.align, Align::Right) << c.code;
  }
}

TEST(NumberFormatGeneral, StandardColumn) {
  ExpectAll({
      {"General", 0, "0"},
      {"General", 100, "100"},
      {"General", -1234.5, "-1234.5"},
      {"General", 0.05, "0.05"},
      {"General", 0.1 + 0.2, "0.3"},          // the binary tail stays hidden
      {"General", -0.5, "-0.5"},
      {"General", 1234567.891, "1234568"},    // decimals cut to the column
      {"General", 1.0 / 3, "0.333333"},
      {"General", 2.0 / 3, "0.666667"},
      {"General", -1.0 / 3, "-0.33333"},      // the sign takes a place
      {"General", 3.141592653589793, "3.141593"},
      {"General", 12345678901, "12345678901"},  // 11 digits still in full
      {"General", 123456789012, "1.23457E+11"},
      {"General", -123456789012, "-1.23457E+11"},
      {"General", 100000000000, "1E+11"},
      {"General", 99999999999.6, "1E+11"},    // rounds up to 12 digits
      {"General", 1.5e15, "1.5E+15"},
      {"General", 1e-20, "1E-20"},
      {"general", 42, "42"},
      {"", 42, "42"},
  });
}

TEST(NumberFormatNumbers, DecimalsAndRounding) {
  ExpectAll({
      {"0", 2.5, "3"},                // half away from zero
      {"0", -2.5, "-3"},
      {"0.00", 2.345, "2.35"},        // the double is a hair below 2.345
      {"0.00", 1.005, "1.01"},
      {"0.0", 0.15, "0.2"},
      {"0.00", 0, "0.00"},
      {"0.00", 1234.5, "1234.50"},
      {"0.00", -0.001, "-0.00"},      // a negative value keeps its sign when it shows as nought
      {"00000", 42, "00042"},
      {"0.000", 1e20, "100000000000000000000.000"},
      {"0.00000000000000000", 0.1 + 0.2, "0.30000000000000000"},  // 15 digits, then zeros
      {"#.##", 0.5, ".5"},
      {"#.##", 5, "5."},
      {"0.0#", 1, "1.0"},
      {"0.0#", 1.25, "1.25"},
      {"0.0?", 1.5, "1.5 "},
      {"#", 0, ""},
      {"000-00-0000", 123456789, "123-45-6789"},
      {"(###) ###-####", 5551234567, "(555) 123-4567"},
      {"0 \"kg\"", 12, "12 kg"},
      {"\"$\"#,##0.00", -5, "-$5.00"},  // the sign goes in front of the literal text
      {"\\$0.00", 5, "$5.00"},
  });
}

TEST(NumberFormatNumbers, ThousandsAndScaling) {
  ExpectAll({
      {"#,##0", 1234567, "1,234,567"},
      {"#,##0", 0, "0"},
      {"#,##0", 999.5, "1,000"},
      {"#,###", 0, ""},
      {"0,000", 5, "0,005"},
      {"#,##0.00", 1234.565, "1,234.57"},
      {"#,##0.00", -1234.5, "-1,234.50"},
      {"#,##0,", 1234567, "1,235"},      // one trailing comma: thousands
      {"0.0,,", 1234567, "1.2"},         // two: millions
      {"#,##0.0,,\"M\"", 1234567, "1.2M"},
      {"0.00,", 999, "1.00"},
  });
}

TEST(NumberFormatNumbers, Percent) {
  ExpectAll({
      {"0%", 0.125, "13%"},
      {"0%", 1, "100%"},
      {"0%", -0.5, "-50%"},
      {"0.00%", 0.12345, "12.35%"},
      {"0.0%", 0.0005, "0.1%"},
  });
}

TEST(NumberFormatNumbers, Scientific) {
  ExpectAll({
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.00E+00", 0.000123, "1.23E-04"},
      {"0.00E+00", 0, "0.00E+00"},
      {"0.00E+00", 9.999, "1.00E+01"},   // the carry moves the exponent
      {"0.00E+00", -12345, "-1.23E+04"},
      {"0.0E+0", 1e-10, "1.0E-10"},
      {"0E+0", 12345, "1E+4"},
      {"##0.0E+0", 12345, "12.3E+3"},    // engineering: exponents in threes
      {"##0.0E+0", 1234567, "1.2E+6"},
      {"##0.0E+0", 0.0001, "100.0E-6"},
  });
}

TEST(NumberFormatNumbers, Fractions) {
  ExpectAll({
      {"# ?/?", 1.5, "1 1/2"},
      {"# ?/?", -1.25, "-1 1/4"},
      {"# ??" "/??", 3.14159265358979, "3 14/99"},
      {"# ???" "/???", 3.14159265358979, "3  16/113"},
      {"# ??" "/??", 1.5, "1  1/2 "},      // numerator right, denominator left in their places
      {"?/?", 0.333, "1/3"},
      {"?/?", 0.75, "3/4"},
      {"?/?", 1.5, "3/2"},              // no whole part: an improper fraction
      {"?/4", 1.3, "5/4"},
      {"# ?/4", 2.3, "2 1/4"},
      {"# ?/8", 2.3, "2 2/8"},          // a fixed denominator is not reduced
      {"# ??" "/100", 1.23, "1 23/100"},
  });
}

// Values far beyond any fraction: from 10^15 on the digits hold no fraction, and a
// percentage of 1E+307 is past what a double holds, yet shows its digits.
TEST(NumberFormatNumbers, FractionsOfHugeValues) {
  const std::string e309 = "1" + std::string(309, '0');
  ExpectAll({
      {"?/????", 1e15, "1000000000000000/1   "},
      {"?/????", 123456789012345, "123456789012345/1   "},
      {"?/????", 10000000000000.5, "20000000000001/2   "},
      {"?/999999", 99999999999999.9, "99999899999999900000/999999"},
      {"# ?/????", 1e15, "1000000000000000       "},
      {"# ?/?%", 1e307, (e309 + "    %").c_str()},
      {"?/?%", 1e307, (e309 + "/1%").c_str()},
  });
}

TEST(NumberFormatDates, CalendarDates) {
  ExpectAll({
      {"m/d/yyyy", 45000, "3/15/2023"},
      {"yyyy-mm-dd", 45000, "2023-03-15"},
      {"dddd, mmmm d, yyyy", 45000, "Wednesday, March 15, 2023"},
      {"ddd dd mmm yy", 45000, "Wed 15 Mar 23"},
      {"mmmmm", 45000, "M"},
      {"m", 45000, "3"},
      {"mm", 45000, "03"},
      {"d", 36526, "1"},
      {"dd", 36526, "01"},
      {"dddd", 36526, "Saturday"},
      {"yy", 36526, "00"},
      {"d-mmm-yy", 45000, "15-Mar-23"},
      {"d-mmm", 45000, "15-Mar"},
      {"mmm-yy", 45000, "Mar-23"},
      {"m/d/yy h:mm", 45000.75, "3/15/23 18:00"},
      {"m/d/yyyy", 2958465, "12/31/9999"},
      {"m/d/yyyy", 2958466, "#######"},   // past 9999
      {"m/d/yyyy", -1, "#######"},        // before 1900
      {"[$-409]d-mmm-yy;@", 45000, "15-Mar-23"},
  });
}

TEST(NumberFormatDates, LeapYearBugOf1900) {
  ExpectAll({
      {"m/d/yyyy", 0, "1/0/1900"},
      {"m/d/yyyy", 1, "1/1/1900"},
      {"ddd", 1, "Sun"},
      {"m/d/yyyy", 59, "2/28/1900"},
      {"m/d/yyyy", 60, "2/29/1900"},    // the day that never was
      {"dddd", 60, "Wednesday"},
      {"m/d/yyyy", 61, "3/1/1900"},
      {"dddd", 61, "Thursday"},
  });
}

TEST(NumberFormatDates, System1904) {
  ExpectAll(
      {
          {"m/d/yyyy", 0, "1/1/1904"},
          {"dddd", 0, "Friday"},
          {"m/d/yyyy", 45000, "3/16/2027"},
          {"m/d/yyyy", 2957003, "12/31/9999"},
          {"m/d/yyyy", 2957004, "#######"},
          {"h:mm", -0.10416666666666667, "-2:30"},  // 1904 shows negative times
      },
      true);
  EXPECT_EQ(NumberFormat("h:mm").Number(-0.10416666666666667).text, "#######");
}

TEST(NumberFormatDates, TimesOfDay) {
  ExpectAll({
      {"h:mm AM/PM", 0.75, "6:00 PM"},
      {"h:mm AM/PM", 0, "12:00 AM"},
      {"h:mm AM/PM", 0.5, "12:00 PM"},
      {"h:mm:ss AM/PM", 86399.0 / 86400, "11:59:59 PM"},
      {"hh:mm A/P", 0.5, "12:00 P"},
      {"h:mm a/p", 0.25, "6:00 a"},
      {"h:mm", 0.4, "9:36"},
      {"hh:mm:ss", 0.1, "02:24:00"},
      {"h:mm", 0.41666, "9:59"},             // seconds are dropped, not rounded into minutes
      {"h:mm", 0.999999, "0:00"},            // 23:59:59.9 rounds to the next day
      {"yyyy-mm-dd hh:mm:ss", 45000.5, "2023-03-15 12:00:00"},
      {"yyyy-mm-dd hh:mm:ss", 45000.99999999, "2023-03-16 00:00:00"},
      {"h:m", 0.5 + 5.0 / 1440, "12:5"},    // m after h: minutes
      {"mm:ss", 0.0021, "03:01"},            // mm before ss: minutes
      {"mm:ss.0", 0.0021, "03:01.4"},
      {"h:mm:ss.00", 0.5000001, "12:00:00.01"},
  });
}

TEST(NumberFormatDates, ElapsedTime) {
  ExpectAll({
      {"[h]:mm:ss", 1.5, "36:00:00"},
      {"[h]:mm", 2.25, "54:00"},
      {"[h]:mm:ss", 1.0 / 24, "1:00:00"},
      {"[hh]:mm", 1.0 / 24, "01:00"},
      {"[mm]:ss", 0.0625, "90:00"},
      {"[s]", 0.5, "43200"},
  });
}

TEST(NumberFormatSections, PositiveNegativeZero) {
  ExpectAll({
      {"0.00;-0.00", -3.5, "-3.50"},
      {"0.00;0.00", -3.5, "3.50"},           // the negative section writes its own sign
      {"0;(0);\"zero\"", 7, "7"},
      {"0;(0);\"zero\"", -7, "(7)"},
      {"0;(0);\"zero\"", 0, "zero"},
      {"0;0", 0, "0"},                       // zero goes with the positives
      {"0.00;\"neg\"", -2, "neg"},
      {"0;-0;;@", 0, ""},                    // an empty zero section hides zeros
      {";;;", 5, ""},
      {"0.00_);(0.00)", -5, "(5.00)"},
      {"0_)", 5, "5 "},                      // _x: a space
      {"**0", 5, "5"},                       // *x: the fill shows nothing here
      {"General;-General", -12.5, "-12.5"},
      {"@", 12.5, "12.5"},                   // a text-only code shows numbers in General
  });
}

TEST(NumberFormatSections, Conditions) {
  ExpectAll({
      {"[Red][<=100];[Blue][>100]", 50, "50"},
      {"[Red][<=100];[Blue][>100]", 150, "150"},
      {"[<=9999999]###-####;(###) ###-####", 5551234, "555-1234"},
      {"[<=9999999]###-####;(###) ###-####", 5551234567, "(555) 123-4567"},
      {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", 1500000, "1.5M"},
      {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", 2500, "2.5K"},
      {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", 999, "999"},
      {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", -2500, "-2500"},
      {"[=1]\"one\";[=2]\"two\";\"many\"", 1, "one"},
      {"[=1]\"one\";[=2]\"two\";\"many\"", 2, "two"},
      {"[=1]\"one\";[=2]\"two\";\"many\"", 3, "many"},
  });
}

TEST(NumberFormatSections, CurrencyAndLocale) {
  ExpectAll({
      {"[$\xE2\x82\xAC-407]#,##0.00", 1234.5, "\xE2\x82\xAC" "1,234.50"},
      {"#,##0.00 [$USD]", 1234.5, "1,234.50 USD"},
      {"[$$-409]#,##0.00", 5, "$5.00"},
      {"[$-409]#,##0", 1234, "1,234"},
      {"[$-F800]dddd, mmmm dd, yyyy", 45000, "Wednesday, March 15, 2023"},  // the system long date
      {"\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)", 1234, "$1,234 "},
      {"\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)", -1234, "($1,234)"},
  });
}

// The separators the caller gives (the window's language) replace every decimal point and
// thousands separator the number shows; the format code is read the same, and its literal
// text stays as written.
TEST(NumberFormatSeparators, TheCallersLanguage) {
  const Separators german(",", ".");
  const Separators swiss(".", "\xE2\x80\x99");  // a right single quotation mark, 3 bytes
  struct SepCase {
    const char* code;
    double value;
    const char* de;
    const char* ch;
  } cases[] = {
      {"#,##0.0", 1234.5, "1.234,5", "1\xE2\x80\x99" "234.5"},
      {"#,##0", -1234567, "-1.234.567", "-1\xE2\x80\x99" "234\xE2\x80\x99" "567"},
      {"0.00%", 0.125, "12,50%", "12.50%"},
      {"0.00E+00", 12345, "1,23E+04", "1.23E+04"},
      {"##0.0E+0", 12345, "12,3E+3", "12.3E+3"},
      {"General", 0.5, "0,5", "0.5"},
      {"General", 123456789012.0, "1,23457E+11", "1.23457E+11"},
      {"General", -1.0 / 3, "-0,33333", "-0.33333"},
      {"# ?/?", 1.5, "1 1/2", "1 1/2"},
      {"hh:mm:ss.00", 0.5 + 0.5 / 86400, "12:00:00,50", "12:00:00.50"},
      {"dd.mm.yyyy", 45306, "15.01.2024", "15.01.2024"},  // literal points stay
      {"#,##0.00 \"a.b\"", 1000, "1.000,00 a.b", "1\xE2\x80\x99" "000.00 a.b"},
      {"???,???.0", 1234.5, "  1.234,5", "  1\xE2\x80\x99" "234.5"},
      {"0.0;[<0]\"neg\"General", -2.5, "neg2,5", "neg2.5"},
      {".00", 12.5, "12,50", "12.50"},
  };
  for (const SepCase& c : cases) {
    NumberFormat f(c.code);
    EXPECT_EQ(f.Number(c.value, false, german).text, c.de) << c.code << " " << c.value;
    EXPECT_EQ(f.Number(c.value, false, swiss).text, c.ch) << c.code << " " << c.value;
  }
}

TEST(NumberFormatSections, Colours) {
  struct ColourCase {
    const char* code;
    double value;
    Rgb color;
  };
  const ColourCase cases[] = {
      {"[Red]0", 1, 0xFF0000},     {"[RED]0", 1, 0xFF0000},     {"[Blue]0", 1, 0x0000FF},
      {"[Green]0", 1, 0x00FF00},   {"[Black]0", 1, 0x000000},   {"[White]0", 1, 0xFFFFFF},
      {"[Yellow]0", 1, 0xFFFF00},  {"[Magenta]0", 1, 0xFF00FF}, {"[Cyan]0", 1, 0x00FFFF},
      {"[Color1]0", 1, 0x000000},  {"[Color3]0", 1, 0xFF0000},  {"[Color10]0", 1, 0x008000},
      {"[Color56]0", 1, 0x333333}, {"0", 1, kAutoColor},
      {"0.00;[Red]-0.00", 3.5, kAutoColor},
      {"0.00;[Red]-0.00", -3.5, 0xFF0000},
      {"[Red][<=100];[Blue][>100]", 150, 0x0000FF},
      {"[Red][<=100];[Blue][>100]", 50, 0xFF0000},
      {"[Red]General", -5, 0xFF0000},
  };
  for (const ColourCase& c : cases)
    EXPECT_EQ(NumberFormat(c.code).Number(c.value).color, c.color) << c.code << " " << c.value;
  EXPECT_EQ(NumberFormat("[Red]General").Number(-5).text, "-5");
}

TEST(NumberFormatText, TextSection) {
  struct TextCase {
    const char* code;
    const char* text;
    const char* shown;
  };
  const TextCase cases[] = {
      {"General", "x y", "x y"},
      {"@", "abc", "abc"},
      {"0.00", "abc", "abc"},                   // no text section: as it is
      {"\"Name: \"@", "abc", "Name: abc"},
      {"0;-0;0;\"Text: \"@", "abc", "Text: abc"},
      {"0;-0;0;\"fixed\"", "abc", "fixed"},
      {"0;-0;0;General", "abc", "abc"},
      {";;;", "abc", ""},
      {"0;-0;;@", "abc", "abc"},
      {"[$-409]d-mmm-yy;@", "abc", "abc"},
      {"@\" \"@", "ab", "ab ab"},
  };
  for (const TextCase& c : cases) {
    RenderedValue r = NumberFormat(c.code).Text(c.text);
    EXPECT_EQ(r.text, c.shown) << c.code;
    EXPECT_EQ(r.align, Align::Left) << c.code;
  }
  EXPECT_EQ(NumberFormat("0;-0;0;[Blue]@").Text("abc").color, 0x0000FF);
  EXPECT_EQ(NumberFormat("0;-0;0;[Blue]@").Number(1).color, kAutoColor);
  EXPECT_EQ(NumberFormat("[Red]0").Text("abc").color, kAutoColor);
}

TEST(NumberFormatBuiltins, AsStoredInStyles) {
  struct BuiltinCase {
    int id;
    double value;
    const char* text;
  };
  const BuiltinCase cases[] = {
      {0, 1234.5, "1234.5"},       {1, 1234.5, "1235"},          {2, 1234.5, "1234.50"},
      {3, 1234.5, "1,235"},        {4, 1234.5, "1,234.50"},      {5, -1234.5, "($1,235)"},
      {7, 1234.5, "$1,234.50 "},   {9, 0.5, "50%"},              {10, 0.5, "50.00%"},
      {11, 12345, "1.23E+04"},     {12, 1.25, "1 1/4"},          {14, 45000, "03-15-23"},
      {15, 45000, "15-Mar-23"},    {18, 0.75, "6:00 PM"},        {20, 0.75, "18:00"},
      {21, 0.75, "18:00:00"},      {22, 45000.75, "3/15/23 18:00"}, {37, -1234, "(1,234)"},
      {43, 0, " -   "},           {43, 1234.5, " 1,234.50 "},   {43, -1234.5, " (1,234.50)"},
      {44, 1234.5, " $1,234.50 "}, {45, 0.0021, "03:01"},        {46, 1.5, "36:00:00"},
      {47, 0.0021, "0301.4"},      {48, 12345, "12.3E+3"},       {49, 12.5, "12.5"},
  };
  for (const BuiltinCase& c : cases)
    EXPECT_EQ(NumberFormat(BuiltinNumFmt(c.id)).Number(c.value).text, c.text) << "id " << c.id;
  EXPECT_EQ(NumberFormat(BuiltinNumFmt(43)).Text("abc").text, " abc ");
}

TEST(NumberFormatRobustness, UnreadableCodesRenderAsGeneral) {
  const char* codes[] = {"0;0;0;0;0", "[Red", "[<abc]0", "[Color99]0", "\"open"};
  for (const char* code : codes) {
    NumberFormat f(code);
    EXPECT_EQ(f.Number(1234.5).text, "1234.5") << code;
    EXPECT_EQ(f.Number(-0.5).text, "-0.5") << code;
    EXPECT_EQ(f.Text("abc").text, "abc") << code;
  }
  EXPECT_EQ(NumberFormat("0.00").Number(std::numeric_limits<double>::infinity()).text, "#NUM!");
}

TEST(NumberFormatRobustness, CopiesRenderAlike) {
  NumberFormat a("#,##0.00;[Red]\\(#,##0.00\\)");
  NumberFormat b = a;
  a = NumberFormat("0%");
  EXPECT_EQ(b.Number(-1234.5).text, "(1,234.50)");
  EXPECT_EQ(b.Number(-1234.5).color, 0xFF0000u);
  EXPECT_EQ(a.Number(0.5).text, "50%");
}

TEST(NumberFormatKinds, DateTimeCodes) {
  EXPECT_TRUE(NumberFormat("h:mm").IsDateTime());
  EXPECT_TRUE(NumberFormat("[h]:mm:ss").IsDateTime());
  EXPECT_TRUE(NumberFormat("[$-409]d-mmm-yy;@").IsDateTime());
  EXPECT_FALSE(NumberFormat("General").IsDateTime());
  EXPECT_FALSE(NumberFormat("0.00E+00").IsDateTime());
  EXPECT_FALSE(NumberFormat("\"d\"0").IsDateTime());  // quoted letters are text
  EXPECT_FALSE(NumberFormat("@").IsDateTime());
}

TEST(NumberFormatKinds, DateFormatTable) {
  struct DateCase {
    const char* code;
    bool date;
  } cases[] = {
      {"yyyy-mm-dd", true},        {"d-mmm-yy", true},
      {"h:mm", false},             {"[h]:mm:ss", false},
      {"0.00", false},             {"\"day\" 0", false},
      {"[Red]0.00", false},        {"mm:ss", false},
      {"m/d/yy h:mm", true},       {"[$-409]mmmm d, yyyy", true},
      {"General", false},          {"@", false},
      {"h:mm AM/PM", false},       {"hh:mm:ss a/p", false},
      {"mmss.0", false},           {"[mm]:ss", false},
      {"[ss].00", false},          {"mm", true},
      {"mmm", true},               {"MMMM YYYY", true},
      {"DD/MM", true},             {"\\d0", false},
      {"0_d", false},              {"0*d", false},
      {"[Blue][>=100]0;0", false}, {"0.00E+00", false},
      {"# ?/?", false},            {"h\"h\"mm\"m\"", false},
      {"mm/yy", true},             {"[$-F800]dddd, mmmm dd, yyyy", true},
      {"#,##0 \"Stück\"", false},  {"0;[Red]-0;\"-\";@", false},
      {"h:mm;mm", true},
      // Only the sections a number goes through count: a date in the text section is no
      // date, one in the negative or zero section is.
      {"0;0;0;d", false},          {"0;0;0;yyyy", false},
      {"General;General;General;mmm", false},
      {"0;d", true},               {"0;0;yyyy", true},
      {"[<1]h:mm;d-mmm", true},
      // The system's long date and long time.
      {"[$-F800]", true},          {"[$-F400]", false},
      // Codes that cannot be read render like General.
      {"yyyy\"", false},          {"[Red", false},
  };
  for (const DateCase& c : cases) EXPECT_EQ(IsDateFormat(c.code), c.date) << c.code;
}

TEST(NumberFormatKinds, BuiltinDateIds) {
  for (int id : {14, 15, 16, 17, 22, 27, 28, 29, 30, 31, 34, 35, 36, 50, 51, 52, 53, 54, 55,
                 56, 57, 58})
    EXPECT_TRUE(IsDateFormat(BuiltinNumFmt(id))) << id;
  // Times, including the two Japanese time formats among the locale ids.
  for (int id : {0, 1, 2, 9, 11, 18, 19, 20, 21, 32, 33, 45, 46, 47, 49})
    EXPECT_FALSE(IsDateFormat(BuiltinNumFmt(id))) << id;
}

TEST(NumberFormatOther, BooleansAndErrors) {
  RenderedValue t = RenderBool(true), f = RenderBool(false), e = RenderError("#DIV/0!");
  EXPECT_EQ(t.text, "TRUE");
  EXPECT_EQ(f.text, "FALSE");
  EXPECT_EQ(e.text, "#DIV/0!");
  EXPECT_EQ(t.align, Align::Center);
  EXPECT_EQ(f.align, Align::Center);
  EXPECT_EQ(e.align, Align::Center);
  EXPECT_EQ(e.color, kAutoColor);
}

}  // namespace
}  // namespace corvane
