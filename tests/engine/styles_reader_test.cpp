#include "engine/core/builtin_formats.h"
#include "engine/xlsx/styles_reader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "engine/core/error.h"

#ifndef CORVANE_CORPUS
#define CORVANE_CORPUS "/work/shared/corpus"
#endif

namespace corvane {
namespace {

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// A styles part around the given body (whatever goes inside <styleSheet>).
std::string Sheet(const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>") +
         "<styleSheet xmlns=\"" + kMain + "\">" + body + "</styleSheet>";
}

// A styles part with one font, one fill, one border and the given xf elements.
std::string WithXfs(const std::string& xfs, const std::string& font = "<font><sz val=\"11\"/></font>",
                    const std::string& fill = "<fill><patternFill patternType=\"none\"/></fill>",
                    const std::string& border = "<border/>") {
  return Sheet("<fonts>" + font + "</fonts><fills>" + fill + "</fills><borders>" + border +
               "</borders><cellXfs>" + xfs + "</cellXfs>");
}

// A theme part whose colour scheme lists the twelve colours in file order.
std::string Theme(const std::vector<std::string>& slots) {
  static const char* names[] = {"dk1", "lt1", "dk2", "lt2", "accent1", "accent2", "accent3",
                                "accent4", "accent5", "accent6", "hlink", "folHlink"};
  std::string s =
      "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"T\">"
      "<a:themeElements><a:clrScheme name=\"S\">";
  for (size_t i = 0; i < slots.size(); ++i)
    s += std::string("<a:") + names[i] + ">" + slots[i] + "</a:" + names[i] + ">";
  s += "</a:clrScheme><a:fontScheme name=\"F\"/></a:themeElements></a:theme>";
  return s;
}

std::string Srgb(const char* hex) { return std::string("<a:srgbClr val=\"") + hex + "\"/>"; }

// Twelve distinct colours so that any mix-up of slots shows.
std::string DistinctTheme() {
  return Theme({"<a:sysClr val=\"windowText\" lastClr=\"101010\"/>",
                "<a:sysClr val=\"window\" lastClr=\"F0F0F0\"/>", Srgb("200000"), Srgb("E00000"),
                Srgb("000041"), Srgb("000042"), Srgb("000043"), Srgb("000044"), Srgb("000045"),
                Srgb("F79646"), Srgb("0000AA"), Srgb("0000BB")});
}

Rgb FontColor(const std::string& colorAttrs, const std::string& theme = "") {
  auto styles = ReadStyles(
      WithXfs("<xf fontId=\"0\"/>", "<font><color " + colorAttrs + "/></font>"), theme);
  EXPECT_EQ(styles.size(), 1u);
  return styles.at(0).fontColor;
}

std::string ReadZipEntry(const std::string& file, const char* entry) {
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &err);
  if (!z) {
    ADD_FAILURE() << "cannot open " << file;
    return {};
  }
  std::string out;
  if (zip_file_t* f = zip_fopen(z, entry, 0)) {
    char buf[8192];
    zip_int64_t n;
    while ((n = zip_fread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    zip_fclose(f);
  }
  zip_close(z);
  return out;
}

std::vector<Style> ReadCorpus(const char* name) {
  std::string path = std::string(CORVANE_CORPUS) + "/xlsx/" + name;
  std::string styles = ReadZipEntry(path, "xl/styles.xml");
  EXPECT_FALSE(styles.empty()) << path;
  return ReadStyles(styles, ReadZipEntry(path, "xl/theme/theme1.xml"));
}

// ---------------------------------------------------------------------------

TEST(StylesReaderDefaults, EmptyOrMinimalPartsGiveOneDefaultStyle) {
  for (const std::string& xml : {std::string(), Sheet(""), Sheet("<fonts/><cellXfs/>")}) {
    auto styles = ReadStyles(xml, "");
    ASSERT_EQ(styles.size(), 1u) << xml;
    EXPECT_EQ(styles[0], Style{}) << xml;
    EXPECT_EQ(styles[0].fontName, "Calibri");
    EXPECT_EQ(styles[0].fontSize, 11);
    EXPECT_EQ(styles[0].numFmt, "General");
  }
}

TEST(StylesReaderDefaults, NoCellXfsStillUsesTheFirstFont) {
  auto styles = ReadStyles(Sheet("<fonts><font><b/><sz val=\"9\"/><name val=\"Arial\"/></font></fonts>"), "");
  ASSERT_EQ(styles.size(), 1u);
  EXPECT_EQ(styles[0].fontName, "Arial");
  EXPECT_EQ(styles[0].fontSize, 9);
  EXPECT_TRUE(styles[0].bold);
}

TEST(StylesReaderDefaults, OneStylePerCellXfInOrderAndOtherXfListsIgnored) {
  // cellStyleXfs and dxfs hold xf/font elements of their own; they must not be counted.
  std::string xml = Sheet(
      "<fonts><font><name val=\"A\"/></font><font><name val=\"B\"/></font></fonts>"
      "<cellStyleXfs><xf fontId=\"1\"/><xf fontId=\"1\"/><xf fontId=\"1\"/></cellStyleXfs>"
      "<cellXfs count=\"99\"><xf fontId=\"1\"/><xf fontId=\"0\"/></cellXfs>"
      "<dxfs><dxf><font><name val=\"C\"/></font></dxf></dxfs>"
      "<extLst><ext><x14:fonts xmlns:x14=\"urn:x\"><x14:font/></x14:fonts></ext></extLst>");
  auto styles = ReadStyles(xml, "");
  ASSERT_EQ(styles.size(), 2u);
  EXPECT_EQ(styles[0].fontName, "B");
  EXPECT_EQ(styles[1].fontName, "A");
}

// ---------------------------------------------------------------------------

TEST(StylesReaderFonts, PropertiesAndBooleanSpellings) {
  std::string fonts =
      "<font><b/><i/><strike/><u/><sz val=\"14.5\"/><name val=\"Segoe UI\"/></font>"
      "<font><b val=\"0\"/><i val=\"false\"/><strike val=\"0\"/><u val=\"none\"/></font>"
      "<font><b val=\"true\"/><i val=\"1\"/><u val=\"double\"/></font>"
      "<font><u val=\"singleAccounting\"/></font>"
      "<font><u val=\"doubleAccounting\"/></font>";
  auto s = ReadStyles(WithXfs("<xf fontId=\"0\"/><xf fontId=\"1\"/><xf fontId=\"2\"/>"
                              "<xf fontId=\"3\"/><xf fontId=\"4\"/>",
                              fonts),
                      "");
  ASSERT_EQ(s.size(), 5u);
  EXPECT_TRUE(s[0].bold && s[0].italic && s[0].strike);
  EXPECT_EQ(s[0].underline, Underline::Single);
  EXPECT_EQ(s[0].fontSize, 14.5);
  EXPECT_EQ(s[0].fontName, "Segoe UI");
  EXPECT_FALSE(s[1].bold || s[1].italic || s[1].strike);
  EXPECT_EQ(s[1].underline, Underline::None);
  EXPECT_EQ(s[1].fontName, "Calibri");  // no <name>: the default
  EXPECT_TRUE(s[2].bold && s[2].italic);
  EXPECT_EQ(s[2].underline, Underline::Double);
  EXPECT_EQ(s[3].underline, Underline::SingleAccounting);
  EXPECT_EQ(s[4].underline, Underline::DoubleAccounting);
}

TEST(StylesReaderFonts, OddSizesAreKeptInRange) {
  std::string fonts =
      "<font><sz val=\"0\"/></font><font><sz val=\"-3\"/></font><font><sz val=\"abc\"/></font>"
      "<font><sz val=\"100000\"/></font><font><sz val=\"nan\"/></font><font><sz val=\"0.5\"/></font>";
  auto s = ReadStyles(WithXfs("<xf fontId=\"0\"/><xf fontId=\"1\"/><xf fontId=\"2\"/>"
                              "<xf fontId=\"3\"/><xf fontId=\"4\"/><xf fontId=\"5\"/>",
                              fonts),
                      "");
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0].fontSize, 11);
  EXPECT_EQ(s[1].fontSize, 11);
  EXPECT_EQ(s[2].fontSize, 11);
  EXPECT_EQ(s[3].fontSize, 409);
  EXPECT_EQ(s[4].fontSize, 11);
  EXPECT_EQ(s[5].fontSize, 1);
}

// ---------------------------------------------------------------------------

TEST(StylesReaderColors, RgbAutoAndIndexedDefaultPalette) {
  EXPECT_EQ(FontColor("rgb=\"FF123456\""), 0x123456u);
  EXPECT_EQ(FontColor("rgb=\"00ABCDEF\""), 0xABCDEFu);  // alpha ignored
  EXPECT_EQ(FontColor("rgb=\"ff00aa00\""), 0x00AA00u);  // lower case
  EXPECT_EQ(FontColor("rgb=\"C00000\""), 0xC00000u);    // six digits
  EXPECT_EQ(FontColor("rgb=\"zz\""), kAutoColor);
  EXPECT_EQ(FontColor("auto=\"1\""), kAutoColor);
  EXPECT_EQ(FontColor(""), kAutoColor);
  EXPECT_EQ(FontColor("indexed=\"2\""), 0xFF0000u);
  EXPECT_EQ(FontColor("indexed=\"8\""), 0x000000u);
  EXPECT_EQ(FontColor("indexed=\"10\""), 0xFF0000u);
  EXPECT_EQ(FontColor("indexed=\"18\""), 0x000080u);
  EXPECT_EQ(FontColor("indexed=\"22\""), 0xC0C0C0u);
  EXPECT_EQ(FontColor("indexed=\"53\""), 0xFF6600u);
  EXPECT_EQ(FontColor("indexed=\"63\""), 0x333333u);
  EXPECT_EQ(FontColor("indexed=\"64\""), kAutoColor);  // system foreground
  EXPECT_EQ(FontColor("indexed=\"65\""), kAutoColor);  // system background
  EXPECT_EQ(FontColor("indexed=\"9999999999\""), kAutoColor);
  EXPECT_EQ(FontColor("indexed=\"-1\""), kAutoColor);
}

TEST(StylesReaderColors, CustomIndexedPaletteEvenAfterCellXfs) {
  // <colors> comes last in the file, after the formats that use it.
  std::string xml = Sheet(
      "<fonts><font><color indexed=\"1\"/></font><font><color indexed=\"3\"/></font>"
      "<font><color indexed=\"40\"/></font></fonts>"
      "<fills><fill><patternFill patternType=\"solid\"><fgColor indexed=\"0\"/>"
      "<bgColor indexed=\"64\"/></patternFill></fill></fills>"
      "<cellXfs><xf fontId=\"0\"/><xf fontId=\"1\"/><xf fontId=\"2\"/></cellXfs>"
      "<colors><indexedColors><rgbColor rgb=\"00112233\"/><rgbColor rgb=\"FF445566\"/>"
      "<rgbColor rgb=\"bad\"/><rgbColor rgb=\"00778899\"/></indexedColors></colors>");
  auto s = ReadStyles(xml, "");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].fontColor, 0x445566u);
  EXPECT_EQ(s[1].fontColor, 0x778899u);
  EXPECT_EQ(s[2].fontColor, 0x00CCFFu);  // beyond the custom list: the default colour
  EXPECT_EQ(s[0].fillFg, 0x112233u);
  EXPECT_EQ(s[0].fillBg, kAutoColor);
}

TEST(StylesReaderColors, ThemeIndicesSwapLightAndDark) {
  std::string theme = DistinctTheme();
  EXPECT_EQ(FontColor("theme=\"0\"", theme), 0xF0F0F0u);  // lt1
  EXPECT_EQ(FontColor("theme=\"1\"", theme), 0x101010u);  // dk1
  EXPECT_EQ(FontColor("theme=\"2\"", theme), 0xE00000u);  // lt2
  EXPECT_EQ(FontColor("theme=\"3\"", theme), 0x200000u);  // dk2
  EXPECT_EQ(FontColor("theme=\"4\"", theme), 0x000041u);  // accent1
  EXPECT_EQ(FontColor("theme=\"8\"", theme), 0x000045u);  // accent5
  EXPECT_EQ(FontColor("theme=\"10\"", theme), 0x0000AAu);  // hlink
  EXPECT_EQ(FontColor("theme=\"11\"", theme), 0x0000BBu);  // folHlink
  EXPECT_EQ(FontColor("theme=\"12\"", theme), kAutoColor);
  EXPECT_EQ(FontColor("theme=\"-1\"", theme), kAutoColor);
}

TEST(StylesReaderColors, TintInHlsSpace) {
  // Expected values are the ones Excel shows in its colour picker for the Office theme.
  std::string theme = DistinctTheme();
  EXPECT_EQ(FontColor("theme=\"9\" tint=\"-0.249977111117893\"", theme), 0xE46C0Au);  // darker 25%
  EXPECT_EQ(FontColor("theme=\"9\" tint=\"-0.499984740745262\"", theme), 0x984807u);  // darker 50%
  // Without a theme part the Office colours apply: dk2 1F497D, accent1 4F81BD.
  EXPECT_EQ(FontColor("theme=\"3\" tint=\"0.39997558519241921\""), 0x558ED5u);
  EXPECT_EQ(FontColor("theme=\"4\" tint=\"0.59999389629810485\""), 0xB9CDE5u);
  EXPECT_EQ(FontColor("theme=\"1\" tint=\"0.499984740745262\""), 0x7F7F7Fu);
  EXPECT_EQ(FontColor("theme=\"0\" tint=\"-0.499984740745262\""), 0x808080u);
  EXPECT_EQ(FontColor("theme=\"0\" tint=\"-0.0499893185216834\""), 0xF2F2F2u);
  EXPECT_EQ(FontColor("theme=\"0\" tint=\"-1\""), 0x000000u);
  EXPECT_EQ(FontColor("theme=\"1\" tint=\"1\""), 0xFFFFFFu);
  EXPECT_EQ(FontColor("theme=\"1\" tint=\"7\""), 0xFFFFFFu);  // clamped
  // A tint works on rgb and indexed colours as well.
  EXPECT_EQ(FontColor("rgb=\"FFF79646\" tint=\"-0.249977111117893\""), 0xE46C0Au);
  EXPECT_EQ(FontColor("indexed=\"1\" tint=\"-0.499984740745262\""), 0x808080u);
}

TEST(StylesReaderColors, ThemePartDetails) {
  // sysClr without lastClr falls back on its name; a srgbClr wins over the defaults;
  // only the theme's own scheme counts, not the alternatives after it.
  std::string theme =
      "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
      "<a:themeElements><a:clrScheme name=\"S\">"
      "<a:dk1><a:sysClr val=\"windowText\"/></a:dk1><a:lt1><a:sysClr val=\"window\"/></a:lt1>"
      "<a:dk2><a:srgbClr val=\"123456\"><a:lumMod val=\"50000\"/></a:srgbClr></a:dk2>"
      "</a:clrScheme></a:themeElements>"
      "<a:extraClrSchemeLst><a:extraClrScheme><a:clrScheme name=\"X\">"
      "<a:dk2><a:srgbClr val=\"FF0000\"/></a:dk2></a:clrScheme></a:extraClrScheme>"
      "</a:extraClrSchemeLst></a:theme>";
  EXPECT_EQ(FontColor("theme=\"1\"", theme), 0x000000u);
  EXPECT_EQ(FontColor("theme=\"0\"", theme), 0xFFFFFFu);
  EXPECT_EQ(FontColor("theme=\"3\"", theme), 0x123456u);
  EXPECT_EQ(FontColor("theme=\"5\"", theme), 0xC0504Du);  // missing slot: Office accent2
}

// ---------------------------------------------------------------------------

TEST(StylesReaderFills, PatternsAndGradients) {
  std::string fills =
      "<fill><patternFill patternType=\"none\"><fgColor rgb=\"FF112233\"/></patternFill></fill>"
      "<fill><patternFill patternType=\"gray125\"/></fill>"
      "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/>"
      "<bgColor indexed=\"64\"/></patternFill></fill>"
      "<fill><patternFill patternType=\"darkTrellis\"><fgColor rgb=\"FF0000FF\"/>"
      "<bgColor rgb=\"FF00FF00\"/></patternFill></fill>"
      "<fill><gradientFill degree=\"90\"><stop position=\"0\"><color theme=\"4\"/></stop>"
      "<stop position=\"1\"><color rgb=\"FFFF0000\"/></stop></gradientFill></fill>"
      "<fill><patternFill patternType=\"gray0625\"/></fill>"
      "<fill><patternFill patternType=\"bogus\"/></fill>";
  std::string xfs;
  for (int i = 0; i < 7; ++i) xfs += "<xf fillId=\"" + std::to_string(i) + "\"/>";
  auto s = ReadStyles(WithXfs(xfs, "<font/>", fills), "");
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].pattern, FillPattern::None);
  EXPECT_EQ(s[0].fillFg, kAutoColor);  // colours of an empty fill are dropped
  EXPECT_EQ(s[1].pattern, FillPattern::Gray125);
  EXPECT_EQ(s[2].pattern, FillPattern::Solid);
  EXPECT_EQ(s[2].fillFg, 0xFFFF00u);
  EXPECT_EQ(s[2].fillBg, kAutoColor);
  EXPECT_EQ(s[3].pattern, FillPattern::DarkTrellis);
  EXPECT_EQ(s[3].fillFg, 0x0000FFu);
  EXPECT_EQ(s[3].fillBg, 0x00FF00u);
  // A gradient is kept whole: its angle and every stop, theme colours resolved.
  EXPECT_EQ(s[4].pattern, FillPattern::None);
  EXPECT_EQ(s[4].gradient.type, Gradient::Type::Linear);
  EXPECT_EQ(s[4].gradient.degree, 90);
  EXPECT_EQ(s[4].gradient.stops, (std::vector<GradientStop>{{0, 0x4F81BD}, {1, 0xFF0000}}));
  EXPECT_EQ(s[5].pattern, FillPattern::Gray0625);
  EXPECT_EQ(s[6].pattern, FillPattern::None);
}

TEST(StylesReaderBorders, SidesStylesAndColours) {
  std::string borders =
      "<border><left style=\"thin\"><color rgb=\"FFFF0000\"/></left>"
      "<right style=\"mediumDashDotDot\"/><top style=\"double\"><color theme=\"4\"/></top>"
      "<bottom style=\"slantDashDot\"><color indexed=\"12\"/></bottom>"
      "<diagonal style=\"thick\"/></border>"
      // start/end name left/right; an empty left after them must not undo them.
      "<border><start style=\"hair\"><color rgb=\"FF010203\"/></start><end style=\"dotted\"/>"
      "<left/><right/><top/><bottom/></border>"
      "<border><left><color rgb=\"FF00FF00\"/></left><top style=\"weird\"/></border>";
  auto s = ReadStyles(
      WithXfs("<xf borderId=\"0\"/><xf borderId=\"1\"/><xf borderId=\"2\"/>", "<font/>",
              "<fill/>", borders),
      "");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].left, (BorderSide{BorderStyle::Thin, 0xFF0000}));
  EXPECT_EQ(s[0].right, (BorderSide{BorderStyle::MediumDashDotDot, kAutoColor}));
  EXPECT_EQ(s[0].top, (BorderSide{BorderStyle::Double, 0x4F81BD}));
  EXPECT_EQ(s[0].bottom, (BorderSide{BorderStyle::SlantDashDot, 0x0000FF}));
  EXPECT_EQ(s[1].left, (BorderSide{BorderStyle::Hair, 0x010203}));
  EXPECT_EQ(s[1].right, (BorderSide{BorderStyle::Dotted, kAutoColor}));
  EXPECT_EQ(s[1].top, BorderSide{});
  EXPECT_EQ(s[2].left, BorderSide{});  // a colour without a line shows nothing
  EXPECT_EQ(s[2].top, BorderSide{});
}

// ---------------------------------------------------------------------------

TEST(StylesReaderNumFmts, CustomBuiltinRedefinedAndUnknown) {
  std::string xml = Sheet(
      "<numFmts count=\"3\"><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/>"
      "<numFmt numFmtId=\"165\" formatCode=\"&quot;EUR&quot; #,##0.00\"/>"
      "<numFmt numFmtId=\"14\" formatCode=\"dd/mm/yyyy\"/>"
      "<numFmt numFmtId=\"-5\" formatCode=\"never\"/></numFmts>"
      "<cellXfs><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/><xf numFmtId=\"14\"/>"
      "<xf numFmtId=\"4\"/><xf numFmtId=\"49\"/><xf numFmtId=\"200\"/><xf numFmtId=\"x\"/>"
      "<xf numFmtId=\"-5\"/><xf/></cellXfs>");
  auto s = ReadStyles(xml, "");
  ASSERT_EQ(s.size(), 9u);
  EXPECT_EQ(s[0].numFmt, "yyyy-mm-dd");
  EXPECT_EQ(s[1].numFmt, "\"EUR\" #,##0.00");
  EXPECT_EQ(s[2].numFmt, "dd/mm/yyyy");
  EXPECT_EQ(s[3].numFmt, "#,##0.00");
  EXPECT_EQ(s[4].numFmt, "@");
  EXPECT_EQ(s[5].numFmt, "General");
  EXPECT_EQ(s[6].numFmt, "General");
  EXPECT_EQ(s[7].numFmt, "General");
  EXPECT_EQ(s[8].numFmt, "General");
}

TEST(StylesReaderNumFmts, BuiltinCodes) {
  EXPECT_EQ(BuiltinNumFmt(0), "General");
  EXPECT_EQ(BuiltinNumFmt(1), "0");
  EXPECT_EQ(BuiltinNumFmt(3), "#,##0");
  EXPECT_EQ(BuiltinNumFmt(9), "0%");
  EXPECT_EQ(BuiltinNumFmt(11), "0.00E+00");
  EXPECT_EQ(BuiltinNumFmt(13), "# ?\?/??");
  EXPECT_EQ(BuiltinNumFmt(14), "mm-dd-yy");
  EXPECT_EQ(BuiltinNumFmt(18), "h:mm AM/PM");
  EXPECT_EQ(BuiltinNumFmt(22), "m/d/yy h:mm");
  EXPECT_EQ(BuiltinNumFmt(46), "[h]:mm:ss");
  EXPECT_EQ(BuiltinNumFmt(47), "mmss.0");
  EXPECT_EQ(BuiltinNumFmt(48), "##0.0E+0");
  EXPECT_EQ(BuiltinNumFmt(49), "@");
  for (int id : {5, 6, 7, 8, 41, 42, 43, 44}) {
    EXPECT_NE(BuiltinNumFmt(id), "General") << id;
    EXPECT_NE(BuiltinNumFmt(id).find(';'), std::string_view::npos) << id;
  }
  EXPECT_NE(BuiltinNumFmt(6).find("[Red]"), std::string_view::npos);
  EXPECT_NE(BuiltinNumFmt(42).find('$'), std::string_view::npos);
  EXPECT_EQ(BuiltinNumFmt(41).find('$'), std::string_view::npos);
  for (int id : {-1, 23, 26, 59, 163, 164, 100000}) EXPECT_EQ(BuiltinNumFmt(id), "General") << id;
}

// ---------------------------------------------------------------------------

TEST(StylesReaderAlignment, AlignmentAndProtection) {
  std::string xfs =
      "<xf><alignment horizontal=\"centerContinuous\" vertical=\"top\" wrapText=\"1\" "
      "indent=\"3\" textRotation=\"45\" shrinkToFit=\"true\"/>"
      "<protection locked=\"0\" hidden=\"1\"/></xf>"
      "<xf><alignment horizontal=\"distributed\" vertical=\"center\" wrapText=\"false\" "
      "textRotation=\"255\"/></xf>"
      "<xf><alignment horizontal=\"sideways\" vertical=\"middle\" indent=\"100000\" "
      "textRotation=\"-45\"/><protection/></xf>"
      "<xf><alignment indent=\"-2\" textRotation=\"181\"/></xf>"
      "<xf applyAlignment=\"0\"><alignment horizontal=\"right\"/></xf>";
  auto s = ReadStyles(WithXfs(xfs), "");
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0].hAlign, HAlign::CenterContinuous);
  EXPECT_EQ(s[0].vAlign, VAlign::Top);
  EXPECT_TRUE(s[0].wrap);
  EXPECT_TRUE(s[0].shrink);
  EXPECT_EQ(s[0].indent, 3);
  EXPECT_EQ(s[0].rotation, 45);
  EXPECT_FALSE(s[0].locked);
  EXPECT_TRUE(s[0].hidden);

  EXPECT_EQ(s[1].hAlign, HAlign::Distributed);
  EXPECT_EQ(s[1].vAlign, VAlign::Center);
  EXPECT_FALSE(s[1].wrap);
  EXPECT_EQ(s[1].rotation, 255);
  EXPECT_TRUE(s[1].locked);
  EXPECT_FALSE(s[1].hidden);

  EXPECT_EQ(s[2].hAlign, HAlign::General);
  EXPECT_EQ(s[2].vAlign, VAlign::Bottom);
  EXPECT_EQ(s[2].indent, 250);
  EXPECT_EQ(s[2].rotation, 135);  // 45 degrees downward
  EXPECT_TRUE(s[2].locked);

  EXPECT_EQ(s[3].indent, 0);
  EXPECT_EQ(s[3].rotation, 0);
  EXPECT_EQ(s[4].hAlign, HAlign::Right);  // what the xf holds shows, apply flags or not
}

// ---------------------------------------------------------------------------

TEST(StylesReaderNamespaces, PrefixedDefaultAndStrict) {
  const std::string body =
      "<P:numFmts><P:numFmt numFmtId=\"170\" formatCode=\"0.0\"/></P:numFmts>"
      "<P:fonts><P:font><P:b/><P:sz val=\"12\"/><P:color theme=\"3\" tint=\"0.39997558519241921\"/>"
      "<P:name val=\"Arial\"/></P:font></P:fonts>"
      "<P:fills><P:fill><P:patternFill patternType=\"solid\"><P:fgColor rgb=\"FF00FF00\"/>"
      "</P:patternFill></P:fill></P:fills>"
      "<P:borders><P:border><P:start xmlns:ext=\"urn:e\" ext:style=\"thick\" style=\"thin\"/>"
      "</P:border></P:borders>"
      "<P:cellXfs><P:xf numFmtId=\"170\" fontId=\"0\" fillId=\"0\" borderId=\"0\">"
      "<P:alignment horizontal=\"center\" wrapText=\"true\"/></P:xf></P:cellXfs>";
  auto with = [&](const std::string& prefix, const std::string& ns) {
    std::string b = body;
    for (size_t at; (at = b.find("P:")) != std::string::npos;) b.replace(at, 2, prefix);
    std::string decl = prefix.empty() ? " xmlns=\"" + ns + "\"" : " xmlns:x=\"" + ns + "\"";
    return "<" + prefix + "styleSheet" + decl + ">" + b + "</" + prefix + "styleSheet>";
  };
  const std::string strict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
  for (const std::string& xml :
       {with("", kMain), with("x:", kMain), with("", strict), with("x:", strict)}) {
    auto s = ReadStyles(xml, "");
    ASSERT_EQ(s.size(), 1u) << xml;
    EXPECT_EQ(s[0].numFmt, "0.0");
    EXPECT_TRUE(s[0].bold);
    EXPECT_EQ(s[0].fontSize, 12);
    EXPECT_EQ(s[0].fontName, "Arial");
    EXPECT_EQ(s[0].fontColor, 0x558ED5u);
    EXPECT_EQ(s[0].pattern, FillPattern::Solid);
    EXPECT_EQ(s[0].fillFg, 0x00FF00u);
    EXPECT_EQ(s[0].left.style, BorderStyle::Thin);
    EXPECT_EQ(s[0].hAlign, HAlign::Center);
    EXPECT_TRUE(s[0].wrap);
  }
}

TEST(StylesReaderNamespaces, AlternateContentReadsOneBranch) {
  const std::string mc = "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"";
  std::string xml = Sheet(
      "<fonts>"
      // Choice and Fallback: only the Fallback font is counted.
      "<mc:AlternateContent " + mc + "><mc:Choice Requires=\"hs\">"
      "<font><name val=\"Choice\"/><b/></font></mc:Choice>"
      "<mc:Fallback><font><name val=\"Fallback\"/></font></mc:Fallback></mc:AlternateContent>"
      // Choice alone: taken.
      "<mc:AlternateContent " + mc + "><mc:Choice Requires=\"x14\">"
      "<font><name val=\"OnlyChoice\"/></font></mc:Choice></mc:AlternateContent>"
      // Two Choices: the first one only.
      "<mc:AlternateContent " + mc + "><mc:Choice Requires=\"a\"><font><name val=\"C1\"/></font>"
      "</mc:Choice><mc:Choice Requires=\"b\"><font><name val=\"C2\"/></font></mc:Choice>"
      "</mc:AlternateContent>"
      // Inside a font: the Choice's change to the font is undone by the Fallback.
      "<font><name val=\"Inner\"/><mc:AlternateContent " + mc + ">"
      "<mc:Choice Requires=\"z\"><i/><sz val=\"30\"/></mc:Choice>"
      "<mc:Fallback><sz val=\"8\"/></mc:Fallback></mc:AlternateContent></font>"
      "<font><name val=\"Last\"/></font>"
      "</fonts>"
      "<cellXfs>"
      "<mc:AlternateContent " + mc + "><mc:Choice Requires=\"hs\"><xf fontId=\"1\"/>"
      "<xf fontId=\"1\"/></mc:Choice><mc:Fallback><xf fontId=\"0\"/></mc:Fallback>"
      "</mc:AlternateContent>"
      "<xf fontId=\"1\"/><xf fontId=\"2\"/><xf fontId=\"3\"/><xf fontId=\"4\"/>"
      "</cellXfs>");
  auto s = ReadStyles(xml, "");
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0].fontName, "Fallback");
  EXPECT_FALSE(s[0].bold);
  EXPECT_EQ(s[1].fontName, "OnlyChoice");
  EXPECT_EQ(s[2].fontName, "C1");
  EXPECT_EQ(s[3].fontName, "Inner");
  EXPECT_FALSE(s[3].italic);
  EXPECT_EQ(s[3].fontSize, 8);
  EXPECT_EQ(s[4].fontName, "Last");
}

// ---------------------------------------------------------------------------

TEST(StylesReaderRobustness, BadIndicesFallBackToTheFirstEntry) {
  std::string xml = Sheet(
      "<fonts><font><name val=\"F0\"/></font><font><name val=\"F1\"/></font></fonts>"
      "<fills><fill><patternFill patternType=\"gray125\"/></fill></fills>"
      "<borders><border><top style=\"thick\"/></border></borders>"
      "<cellXfs><xf fontId=\"1\" fillId=\"0\" borderId=\"0\"/>"
      "<xf fontId=\"2\" fillId=\"7\" borderId=\"-1\"/>"
      "<xf fontId=\"99999999999999999999\" fillId=\"abc\" borderId=\"4294967296\"/>"
      "<xf fontId=\"1.0\"/><xf fontId=\"1.5\"/></cellXfs>");
  auto s = ReadStyles(xml, "");
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0].fontName, "F1");
  for (size_t i = 1; i <= 2; ++i) {
    EXPECT_EQ(s[i].fontName, "F0") << i;
    EXPECT_EQ(s[i].pattern, FillPattern::Gray125) << i;
    EXPECT_EQ(s[i].top.style, BorderStyle::Thick) << i;
  }
  EXPECT_EQ(s[3].fontName, "F1");
  EXPECT_EQ(s[4].fontName, "F0");
}

TEST(StylesReaderRobustness, ListsMissingEntirely) {
  auto s = ReadStyles(Sheet("<cellXfs><xf fontId=\"3\" fillId=\"2\" borderId=\"1\"/></cellXfs>"), "");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], Style{});
}

TEST(StylesReaderRobustness, MalformedXmlThrows) {
  for (const std::string& bad :
       {std::string("<styleSheet><fonts></styleSheet>"), std::string("not xml at all"),
        Sheet("<fonts><font><b val=\"1></font></fonts>"), std::string("<a/><b/>"),
        std::string("   ")}) {
    try {
      ReadStyles(bad, "");
      ADD_FAILURE() << "no error for " << bad;
    } catch (const AutomationError& e) {
      EXPECT_NE(std::string(e.what()).find("xl/styles.xml"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos) << e.what();
    }
  }
  try {
    ReadStyles(WithXfs("<xf/>"), "<a:theme><a:themeElements>");
    ADD_FAILURE() << "no error for a broken theme";
  } catch (const AutomationError& e) {
    EXPECT_NE(std::string(e.what()).find("theme1.xml"), std::string::npos) << e.what();
  }
}

// Every XML part is read by the one driver, which refuses any document type declaration:
// entity bombs, external and parameter entities, and a bare one alike.
TEST(StylesReaderRobustness, DocumentTypeDeclarationsAreRefused) {
  std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE styleSheet ["
      "<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
      "]><styleSheet xmlns=\"" + std::string(kMain) +
      "\"><fonts><font><name val=\"&f;\"/></font></fonts></styleSheet>";
  std::string external =
      "<?xml version=\"1.0\"?><!DOCTYPE styleSheet [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<styleSheet><fonts><font><name val=\"&x;\"/></font></fonts></styleSheet>";
  std::string parameter =
      "<?xml version=\"1.0\"?><!DOCTYPE styleSheet [<!ENTITY % p SYSTEM \"http://x/y.dtd\"> %p;]>"
      "<styleSheet/>";
  std::string bare = "<?xml version=\"1.0\"?><!DOCTYPE styleSheet><styleSheet/>";
  for (const std::string& xml : {bomb, external, parameter, bare}) {
    try {
      ReadStyles(xml, "", "\"a.xlsx\" (part xl/styles.xml)");
      ADD_FAILURE() << "accepted: " << xml.substr(0, 80);
    } catch (const AutomationError& e) {
      EXPECT_EQ(std::string(e.what()),
                "\"a.xlsx\" (part xl/styles.xml) holds a document type declaration, which Corvane refuses for safety.");
    }
  }
  EXPECT_THROW(ReadStyles(WithXfs("<xf/>"), "<!DOCTYPE t [<!ENTITY q \"q\">]><t/>"), AutomationError);
}

TEST(StylesReaderRobustness, EveryTruncationIsEitherReadOrRefused) {
  // Cutting a valid part anywhere must give a clean error, never a crash.
  std::string xml = Sheet(
      "<numFmts><numFmt numFmtId=\"164\" formatCode=\"0.0\"/></numFmts>"
      "<fonts><mc:AlternateContent xmlns:mc=\"urn:mc\"><mc:Choice><font><b/></font></mc:Choice>"
      "<mc:Fallback><font><i/></font></mc:Fallback></mc:AlternateContent></fonts>"
      "<borders><border><start style=\"thin\"><color rgb=\"FF000000\"/></start></border></borders>"
      "<cellXfs><xf numFmtId=\"164\"><alignment horizontal=\"left\"/></xf></cellXfs>"
      "<colors><indexedColors><rgbColor rgb=\"FF000000\"/></indexedColors></colors>");
  ASSERT_EQ(ReadStyles(xml, "").size(), 1u);
  for (size_t n = 1; n < xml.size(); ++n) {
    try {
      auto s = ReadStyles(xml.substr(0, n), "");
      ADD_FAILURE() << "truncated part accepted at " << n;
    } catch (const AutomationError&) {
    }
  }
}

// The time this takes is measured by engine_bench.
TEST(StylesReaderRobustness, ManyFormatsRead) {
  constexpr int kXfs = 60000;
  std::string fonts, xfs;
  for (int i = 0; i < 500; ++i)
    fonts += "<font><sz val=\"" + std::to_string(8 + i % 20) + "\"/><color theme=\"" +
             std::to_string(i % 12) + "\" tint=\"0.25\"/><name val=\"Font" + std::to_string(i) +
             "\"/></font>";
  for (int i = 0; i < kXfs; ++i)
    xfs += "<xf numFmtId=\"" + std::to_string(i % 50) + "\" fontId=\"" + std::to_string(i % 500) +
           "\" fillId=\"0\" borderId=\"0\" applyFont=\"1\"><alignment indent=\"" +
           std::to_string(i % 10) + "\"/></xf>";
  std::string xml = Sheet("<fonts>" + fonts + "</fonts><cellXfs>" + xfs + "</cellXfs>");
  auto s = ReadStyles(xml, "");
  ASSERT_EQ(s.size(), static_cast<size_t>(kXfs));
  EXPECT_EQ(s[kXfs - 1].fontName, "Font499");  // 59999 % 500
  EXPECT_EQ(s[kXfs - 1].indent, 9);
  EXPECT_EQ(s[kXfs - 1].numFmt, "@");  // 59999 % 50 = 49
}

// ---------------------------------------------------------------------------

// Equal styles must land in one entry of the style table, zero of either sign included.
TEST(StyleHashTest, EqualStylesHashAlike) {
  StyleHash hash;
  Style a, b;
  EXPECT_EQ(hash(a), hash(b));
  b.fontSize = -0.0;
  a.fontSize = 0.0;
  EXPECT_EQ(a, b);
  EXPECT_EQ(hash(a), hash(b));
}

// ---------------------------------------------------------------------------
// Real workbooks. Expected values were taken with openpyxl's raw colour
// references and resolved by hand against each file's theme.

TEST(StylesReaderCorpus, FontThemeColours) {
  auto s = ReadCorpus("poi_50784-font_theme_colours.xlsx");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].fontColor, 0x000000u);  // theme 1 = dk1, sysClr windowText
  EXPECT_EQ(s[1].fontColor, 0xE46C0Au);  // theme 9 = accent6 F79646, tint -0.25
  EXPECT_EQ(s[2].fontColor, 0xFF0000u);
  EXPECT_EQ(s[1].fontName, "Calibri");
  EXPECT_EQ(s[1].fontSize, 11);
}

TEST(StylesReaderCorpus, CustomIndexedPalette) {
  auto s = ReadCorpus("poi_customIndexedColors.xlsx");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].fontName, "Arial");
  EXPECT_EQ(s[0].fontSize, 10);
  EXPECT_EQ(s[3].fontName, "Tahoma");
  EXPECT_EQ(s[3].fontColor, 0x094A74u);  // custom entry 18 (the default would be 000080)
  EXPECT_EQ(s[3].pattern, FillPattern::Solid);
  EXPECT_EQ(s[3].fillFg, 0xE8E8E8u);  // custom entry 61
  EXPECT_EQ(s[3].fillBg, kAutoColor);
  EXPECT_EQ(s[3].left, (BorderSide{BorderStyle::Dashed, kAutoColor}));
  EXPECT_EQ(s[3].hAlign, HAlign::Center);
}

TEST(StylesReaderCorpus, RgbBorderColours) {
  auto s = ReadCorpus("lxw_format08.xlsx");
  ASSERT_EQ(s.size(), 6u);
  const BorderSide red{BorderStyle::Thin, 0xFF0000};
  EXPECT_EQ(s[0].bottom, BorderSide{});
  EXPECT_EQ(s[1].bottom, red);
  EXPECT_EQ(s[1].top, BorderSide{});
  EXPECT_EQ(s[2].top, red);
  EXPECT_EQ(s[3].left, red);
  EXPECT_EQ(s[4].right, red);
  EXPECT_EQ(s[5].left, red);
  EXPECT_EQ(s[5].right, red);
  EXPECT_EQ(s[5].top, red);
  EXPECT_EQ(s[5].bottom, red);
}

TEST(StylesReaderCorpus, AlternateContentWorkbook) {
  auto s = ReadCorpus("poi_style-alternate-content.xlsx");
  ASSERT_EQ(s.size(), 29u);  // as many as cellXfs count says
  EXPECT_EQ(s[0].fontName, "\xEB\xA7\x91\xEC\x9D\x80 \xEA\xB3\xA0\xEB\x94\x95");  // 맑은 고딕
  EXPECT_EQ(s[0].fontColor, 0x000000u);
  EXPECT_EQ(s[1].hAlign, HAlign::Center);
  EXPECT_EQ(s[1].vAlign, VAlign::Center);
  EXPECT_EQ(s[7].fontSize, 9);  // font 8
  EXPECT_EQ(s[8].fontSize, 6);  // font 9
  EXPECT_EQ(s[8].hAlign, HAlign::Center);
}

TEST(StylesReaderCorpus, StrictWorkbook) {
  auto s = ReadCorpus("poi_sample.strict.xlsx");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].fontColor, 0x000000u);
  EXPECT_EQ(s[2].underline, Underline::Single);  // font 3
  EXPECT_EQ(s[1].fontName, "Calibri");
}

}  // namespace
}  // namespace corvane
