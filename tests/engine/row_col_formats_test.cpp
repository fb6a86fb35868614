// Rows' and columns' own formats, heights, widths and hiding, diagonal borders, gradient fills,
// links that lead nowhere and comments outside the cells, read from the same small sheet
// built in each format, then copied and pasted.
//
// The sheet, in every format:
//   columns B:C bold, 20 characters wide; column E hidden;
//   row 2 filled yellow, 30 points high; row 4 hidden;
//   A1 = 1 (with a link that only has a tip, where the format has such links),
//   B2 a blank of the default format (which stands against row 2's fill),
//   C2 = 2 with a dashed red diagonal both ways, D5 = 5 (with a gradient, where the format
//   has gradients), a comment on the empty F8.
#include <gtest/gtest.h>

#include "engine/automation/paste.h"
#include "engine/automation/spreadsheet_automation.h"
#include "engine/core/cellref.h"
#include "tests/engine/biff_writer.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsb_writer.h"

namespace corvane {
namespace {

constexpr Rgb kYellow = 0xFFFF00, kRed = 0xFF0000;

struct Format {
  const char* name;
  std::string (*write)(const test::TempDir&);
  bool tipOnlyLink;  // the format has links without a place
  bool gradient;     // the format has gradient fills
};

// ---------------------------------------------------------------------------
// .xlsx

std::string WriteXlsx(const test::TempDir& tmp) {
  const std::string styles =
      "<fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font><font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill>"
      "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/></patternFill></fill>"
      "<fill><gradientFill type=\"path\" left=\"0.2\" right=\"0.8\" top=\"0.3\" bottom=\"0.7\">"
      "<stop position=\"0\"><color rgb=\"FF4F81BD\"/></stop><stop position=\"0.5\"><color theme=\"0\"/></stop>"
      "<stop position=\"1\"><color rgb=\"FFC0504D\"/></stop></gradientFill></fill></fills>"
      "<borders><border><left/><right/><top/><bottom/><diagonal/></border>"
      "<border diagonalUp=\"1\" diagonalDown=\"1\"><left/><right/><top/><bottom/>"
      "<diagonal style=\"dashed\"><color rgb=\"FFFF0000\"/></diagonal></border></borders>"
      "<cellXfs><xf/><xf fillId=\"2\"/><xf fontId=\"1\"/><xf borderId=\"1\"/><xf fillId=\"3\"/></cellXfs>";
  const std::string sheet =
      "<sheetFormatPr defaultRowHeight=\"15\"/>"
      "<cols><col min=\"2\" max=\"3\" width=\"20\" style=\"2\" customWidth=\"1\"/>"
      "<col min=\"5\" max=\"5\" width=\"9.140625\" hidden=\"1\"/></cols><sheetData>"
      "<row r=\"1\" ht=\"15\"><c r=\"A1\"><v>1</v></c></row>"
      "<row r=\"2\" s=\"1\" customFormat=\"1\" ht=\"30\" customHeight=\"1\"><c r=\"B2\" s=\"0\"/>"
      "<c r=\"C2\" s=\"3\"><v>2</v></c></row>"
      "<row r=\"4\" hidden=\"1\"/><row r=\"5\"><c r=\"D5\" s=\"4\"><v>5</v></c></row></sheetData>"
      "<hyperlinks><hyperlink ref=\"A1\" tooltip=\"just a tip\" display=\"1\"/></hyperlinks>";
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rIdC\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments\" "
      "Target=\"../comments1.xml\"/></Relationships>";
  const std::string comments =
      "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors><author>Ann</author>"
      "</authors><commentList><comment ref=\"F8\" authorId=\"0\"><text><t>note outside</t></text></comment>"
      "</commentList></comments>";
  auto path = tmp / "rc.xlsx";
  test::WriteWorkbook(path, {{"S", sheet}}, "", styles, "",
                      {{"xl/worksheets/_rels/sheet1.xml.rels", rels}, {"xl/comments1.xml", comments}});
  return path.string();
}

// ---------------------------------------------------------------------------
// .xlsb

std::string WriteXlsb(const test::TempDir& tmp) {
  using namespace test::xlsb;
  auto rgb = [](uint32_t v) {
    return U8(2 << 1 | 1) + U8(0) + U16(0) + U8(static_cast<uint8_t>(v >> 16)) + U8(static_cast<uint8_t>(v >> 8)) +
           U8(static_cast<uint8_t>(v)) + U8(0xFF);
  };
  const std::string none = U8(1) + std::string(7, '\0');
  auto font = [&](uint16_t weight) { return Rec(43, U16(220) + U16(0) + U16(weight) + U16(0) + U8(0) + U8(2) + U8(0) + U8(0) + none + U8(0) + WStr("Calibri")); };
  auto side = [&](uint8_t style, const std::string& c) { return U8(style) + U8(0) + c; };
  auto xf = [&](uint16_t fnt, uint16_t fil, uint16_t bdr) {
    return Rec(47, U16(0) + U16(0) + U16(fnt) + U16(fil) + U16(bdr) + U8(0) + U8(0) + U16(0x1010) + U16(0));
  };
  std::string gradient = U32(0x28) + none + none + U32(0) + F64(90) + F64(0) + F64(0) + F64(0) + F64(0) + U32(2) +
                         rgb(0x4F81BD) + F64(0) + rgb(0xC0504D) + F64(1);
  std::string styles = Rec(278) + font(400) + font(700) + Rec(45, U32(0) + none + none + U32(0) + std::string(40, '\0') + U32(0)) +
                       Rec(45, U32(17) + none + none + U32(0) + std::string(40, '\0') + U32(0)) +
                       Rec(45, U32(1) + rgb(kYellow) + none + U32(0) + std::string(40, '\0') + U32(0)) + Rec(45, gradient) +
                       Rec(46, U8(0) + side(0, none) + side(0, none) + side(0, none) + side(0, none) + side(0, none)) +
                       Rec(46, U8(3) + side(0, none) + side(0, none) + side(0, none) + side(0, none) + side(3, rgb(kRed))) +
                       Rec(617, U32(5)) + xf(0, 0, 0) + xf(0, 2, 0) + xf(1, 0, 0) + xf(0, 0, 1) + xf(0, 3, 0) + Rec(618) + Rec(279);
  auto row = [](uint32_t r, uint32_t ixfe, uint16_t twips, uint16_t flags) {
    return Rec(0, U32(r) + U32(ixfe) + U16(twips) + U16(flags) + U8(0) + U32(0));
  };
  Sheet s;
  s.name = "S";
  s.head = Rec(485, U32(0xFFFFFFFF) + U16(8) + U16(300) + U32(0)) + Rec(390) +
           Rec(60, U32(1) + U32(2) + U32(20 * 256) + U32(2) + U16(2)) + Rec(60, U32(4) + U32(4) + U32(2340) + U32(0) + U16(1)) +
           Rec(391);
  s.data = row(0, 0, 300, 0) + Real(0, 1) + row(1, 1, 600, 0x2000 | 0x4000) + Blank(1, 0) + Real(2, 2, 3) +
           row(3, 0, 300, 0x1000) + row(4, 0, 300, 0) + Real(3, 5, 4);
  s.after = Rec(494, Rfx(0, 0, 0, 0) + U32(0xFFFFFFFF) + WStr("") + WStr("just a tip") + WStr("1"));
  s.rels = "<Relationship Id=\"rIdC\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments\" "
           "Target=\"../comments1.bin\"/>";
  Book b;
  b.sheets.push_back(s);
  b.styles = styles;
  auto parts = Parts(b);
  parts["xl/comments1.bin"] = Rec(632, WStr("Ann")) + Rec(635, U32(0) + Rfx(7, 7, 5, 5)) + Rec(637, U8(0) + WStr("note outside"));
  auto path = tmp / "rc.xlsb";
  test::WriteZip(path, parts);
  return path.string();
}

// ---------------------------------------------------------------------------
// .xls

std::string WriteXls(const test::TempDir& tmp) {
  using W = test::BiffWriter;
  auto u16 = [](uint16_t v) {
    std::string s;
    W::Put16(s, v);
    return s;
  };
  auto u32 = [](uint32_t v) {
    std::string s;
    W::Put32(s, v);
    return s;
  };
  // XF 17: solid fill of palette entry 13 (yellow); 18: the bold font; 19: dashed (3) diagonal
  // both ways in palette entry 10 (red); 20: a gradient, which an XFEXT record gives.
  std::vector<std::string> xfs = {W::Xf(0, 0, 0, 1u << 26, 13 | (64 << 7)), W::Xf(6, 0, 0, 0, 0),
                                  W::Xf(0, 0, 3u << 30, (10u << 14) | (3u << 21), 0), W::Xf(0, 0, 0, 1u << 26, 13)};
  auto row = [&](uint16_t r, uint16_t twips, uint32_t flags) {
    return W::Rec(0x0208, u16(r) + u16(0) + u16(4) + u16(twips) + u16(0) + u16(0) + u32(flags | 0x100));
  };
  auto colinfo = [&](uint16_t first, uint16_t last, uint16_t width, uint16_t xf, uint16_t flags) {
    return W::Rec(0x007D, u16(first) + u16(last) + u16(width) + u16(xf) + u16(flags) + u16(0));
  };
  auto utf16 = [](const std::string& s) {
    std::string out;
    for (char c : s) out += std::string{c, '\0'};
    return out;
  };
  static const char kStdLink[] = "\xD0\xC9\xEA\x79\xF9\xBA\xCE\x11\x8C\x82\x00\xAA\x00\x4B\xA9\x0B";
  std::string link = W::Rec(0x01B8, u16(0) + u16(0) + u16(0) + u16(0) + std::string(kStdLink, 16) + u32(2) + u32(0x10) +
                                        u32(2) + utf16("1") + u16(0));
  auto f64 = [](double v) {
    std::string s;
    W::PutF64(s, v);
    return s;
  };
  // Linear at 90 degrees, from theme colour 4 (accent 1) to RGB C0504D.
  std::string gradient = u32(0) + f64(90) + f64(0) + f64(0) + f64(0) + f64(0) + u32(2) + u16(3) + u32(4) + f64(0) +
                         f64(0) + u16(2) + u32(0x004D50C0) + f64(1) + f64(0);
  std::string xfExt = W::Rec(0x087D, u16(0x087D) + std::string(10, '\0') + u16(0) + u16(20) + u16(0) + u16(1) + u16(6) +
                                         u16(static_cast<uint16_t>(4 + gradient.size())) + gradient);
  std::string tip = W::Rec(0x0800, u16(0x0800) + u16(0) + u16(0) + u16(0) + u16(0) + utf16("just a tip") + u16(0));
  std::string cells = W::Rec(0x0225, u16(0) + u16(300)) + colinfo(1, 2, 20 * 256, 18, 0) + colinfo(4, 4, 2340, 15, 1) +
                      row(0, 300, 0) + row(1, 600, 0x40 | 0x80 | (17u << 16)) + row(3, 300, 0x20) + row(4, 300, 0) +
                      W::Number(0, 0, 1) + W::Rec(0x0201, W::Cell(1, 1, 15)) + W::Number(1, 2, 2, 19) +
                      W::Number(4, 3, 5, 20) + W::Rec(0x001C, u16(7) + u16(5) + u16(0) + u16(1) + W::Str16("Ann")) + link + tip;
  std::string path = (tmp / "rc.xls").string();
  W::Save(path, W::CompoundFile(W::Workbook({{"S", cells}}, "", xfs, xfExt)));
  return path;
}

// ---------------------------------------------------------------------------
// .ods

std::string WriteOds(const test::TempDir& tmp) {
  const std::string full = "<table:table-cell table:number-columns-repeated=\"16384\"/>";
  const std::string content =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
      "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" office:version=\"1.2\">"
      "<office:automatic-styles>"
      "<style:style style:name=\"co1\" style:family=\"table-column\"><style:table-column-properties style:column-width=\"105pt\"/></style:style>"
      "<style:style style:name=\"ro1\" style:family=\"table-row\"><style:table-row-properties style:row-height=\"30pt\" "
      "style:use-optimal-row-height=\"false\"/></style:style>"
      "<style:style style:name=\"ro2\" style:family=\"table-row\"><style:table-row-properties style:row-height=\"0.178in\" "
      "style:use-optimal-row-height=\"true\"/></style:style>"
      "<style:style style:name=\"fill\" style:family=\"table-cell\"><style:table-cell-properties fo:background-color=\"#ffff00\"/></style:style>"
      "<style:style style:name=\"bold\" style:family=\"table-cell\"><style:text-properties fo:font-weight=\"bold\"/></style:style>"
      "<style:style style:name=\"diag\" style:family=\"table-cell\"><style:table-cell-properties "
      "style:diagonal-bl-tr=\"0.74pt dashed #ff0000\" style:diagonal-tl-br=\"0.74pt dashed #ff0000\"/></style:style>"
      "</office:automatic-styles><office:body><office:spreadsheet><table:table table:name=\"S\">"
      "<table:table-column/><table:table-column table:style-name=\"co1\" table:default-cell-style-name=\"bold\" "
      "table:number-columns-repeated=\"2\"/><table:table-column/><table:table-column table:visibility=\"collapse\"/>"
      "<table:table-column table:number-columns-repeated=\"16379\"/>"
      "<table:table-row table:style-name=\"ro2\"><table:table-cell office:value-type=\"float\" office:value=\"1\"/>"
      "<table:table-cell table:number-columns-repeated=\"16383\"/></table:table-row>"
      "<table:table-row table:style-name=\"ro1\" table:default-cell-style-name=\"fill\"><table:table-cell/>"
      "<table:table-cell table:style-name=\"Default\"/>"
      "<table:table-cell table:style-name=\"diag\" office:value-type=\"float\" office:value=\"2\"/>"
      "<table:table-cell table:number-columns-repeated=\"16381\"/></table:table-row>"
      "<table:table-row>" + full + "</table:table-row>"
      "<table:table-row table:visibility=\"collapse\">" + full + "</table:table-row>"
      "<table:table-row><table:table-cell table:number-columns-repeated=\"3\"/>"
      "<table:table-cell office:value-type=\"float\" office:value=\"5\"/>"
      "<table:table-cell table:number-columns-repeated=\"16380\"/></table:table-row>"
      "<table:table-row table:number-rows-repeated=\"2\">" + full + "</table:table-row>"
      "<table:table-row><table:table-cell table:number-columns-repeated=\"5\"/><table:table-cell>"
      "<office:annotation><dc:creator xmlns:dc=\"http://purl.org/dc/elements/1.1/\">Ann</dc:creator>"
      "<text:p>note outside</text:p></office:annotation></table:table-cell>"
      "<table:table-cell table:number-columns-repeated=\"16378\"/></table:table-row>"
      "<table:table-row table:number-rows-repeated=\"1048568\">" + full + "</table:table-row>"
      "</table:table></office:spreadsheet></office:body></office:document-content>";
  auto path = tmp / "rc.ods";
  test::WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}});
  return path.string();
}

const Format kFormats[] = {
    {"xlsx", WriteXlsx, true, true},
    {"xlsb", WriteXlsb, true, true},
    {"xls", WriteXls, true, true},
    {"ods", WriteOds, false, false},
};

bool Filled(const Style& s) { return s.pattern == FillPattern::Solid && s.fillFg == kYellow; }

TEST(RowAndColumnFormats, EveryReaderReadsThem) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    test::TempDir tmp;
    auto app = Application::Create();
    Workbook& book = app->Workbooks().Open(f.write(tmp));
    Worksheet& ws = book.Worksheets()(1);
    const SheetData& d = ws.data();
    auto styles = book.Styles();

    // Row 2 formatted and 30 points high, row 4 hidden; other rows say nothing of their own.
    ASSERT_EQ(d.rowInfo.size(), 2u);
    EXPECT_EQ(d.rowInfo[0].row, 1);
    EXPECT_TRUE(d.rowInfo[0].hasStyle);
    EXPECT_TRUE(Filled(styles->styles[d.rowInfo[0].style]));
    EXPECT_EQ(d.rowInfo[0].height, 30);
    EXPECT_EQ(d.rowInfo[1].row, 3);
    EXPECT_TRUE(d.rowInfo[1].hidden);
    EXPECT_FALSE(d.rowInfo[1].hasStyle);

    // B:C bold and 20 wide (a .ods length through 7 pixels a digit), E hidden.
    const ColInfo* b = d.colInfoAt(1);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->first, 1);
    EXPECT_EQ(b->last, 2);
    EXPECT_EQ(b->width, 20);
    ASSERT_TRUE(b->hasStyle);
    EXPECT_TRUE(styles->styles[b->style].bold);
    const ColInfo* e = d.colInfoAt(4);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->hidden);
    EXPECT_FALSE(e->hasStyle);

    // B2 holds nothing but the default format, which stands against its row's.
    const Cell* b2 = d.find(1, 1);
    ASSERT_TRUE(b2);
    EXPECT_EQ(b2->type, CellType::Blank);
    EXPECT_EQ(b2->style, 0u);

    const Cell* c2 = d.find(1, 2);
    ASSERT_TRUE(c2);
    const Style& diag = styles->styles[c2->style];
    EXPECT_TRUE(diag.diagonalUp);
    EXPECT_TRUE(diag.diagonalDown);
    EXPECT_EQ(diag.diagonal, (BorderSide{BorderStyle::Dashed, kRed}));

    if (f.gradient) {
      const Gradient& g = styles->styles[d.find(4, 3)->style].gradient;
      ASSERT_GE(g.stops.size(), 2u);
      EXPECT_EQ(g.stops.front(), (GradientStop{0, 0x4F81BD}));
      EXPECT_EQ(g.stops.back(), (GradientStop{1, 0xC0504D}));
      EXPECT_EQ(styles->styles[d.find(4, 3)->style].pattern, FillPattern::None);
    }
    if (f.tipOnlyLink) {
      ASSERT_EQ(d.links.size(), 1u);
      EXPECT_TRUE(d.links[0].target.empty());
      EXPECT_TRUE(d.links[0].location.empty());
      EXPECT_EQ(d.links[0].tooltip, "just a tip");
      EXPECT_EQ(d.links[0].display, "1");
    }
    // The comment on the empty F8 makes F8 a used cell.
    ASSERT_EQ(d.comments.size(), 1u);
    EXPECT_EQ(ws.UsedRange().Address(), "$A$1:$F$8");
    app->Quit();
  }
}

// The paste gives every empty position of the block its effective format: its row's, else its
// column's; a blank of the default format keeps the default.
TEST(RowAndColumnFormats, APasteCarriesThemIntoTheBlock) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    test::TempDir tmp;
    auto app = Application::Create();
    Workbook& src = app->Workbooks().Open(f.write(tmp));
    Worksheet& ws = src.Worksheets()(1);
    ws.UsedRange().Copy();
    Workbook& out = app->Workbooks().Add();
    Worksheet& dst = out.Worksheets()(1);
    dst.Cells(3, 4).PasteSpecial();  // two rows down, three columns right
    const SheetData& d = dst.data();
    auto styles = out.Styles();
    auto at = [&](int32_t row, int32_t col) -> const Style* {
      const Cell* c = d.find(row + 2, col + 3);
      return c ? &styles->styles[c->style] : nullptr;
    };
    for (int32_t col : {0, 3, 4, 5}) {
      SCOPED_TRACE(col);
      ASSERT_TRUE(at(1, col));
      EXPECT_TRUE(Filled(*at(1, col)));  // row 2's fill, over the columns'
    }
    // B2: the source's default format (itself, where it is not the new workbook's).
    EXPECT_TRUE(!at(1, 1) || *at(1, 1) == src.Styles()->styles[0]);
    ASSERT_TRUE(at(1, 2));
    EXPECT_TRUE(at(1, 2)->diagonalUp);
    for (int32_t row : {0, 2, 3, 4, 5, 6, 7}) {
      SCOPED_TRACE(row);
      for (int32_t col : {1, 2}) {
        ASSERT_TRUE(at(row, col));
        EXPECT_TRUE(at(row, col)->bold);
        EXPECT_FALSE(Filled(*at(row, col)));
      }
      for (int32_t col : {4, 5}) EXPECT_EQ(at(row, col), nullptr);
    }
    EXPECT_EQ(d.rowInfo.size(), 0u);  // heights and widths are not pasted (yet)
    EXPECT_EQ(d.colInfo.size(), 0u);
    ASSERT_EQ(d.comments.size(), 1u);
    EXPECT_EQ(FormatA1(d.comments[0].row, d.comments[0].col), "I10");
    EXPECT_EQ(dst.UsedRange().Address(), "$D$3:$I$10");
    if (f.tipOnlyLink) {
      ASSERT_EQ(d.links.size(), 1u);
      EXPECT_EQ(d.links[0].tooltip, "just a tip");
    }
    if (f.gradient) {
      ASSERT_TRUE(at(4, 3));
      EXPECT_EQ(at(4, 3)->gradient, src.Styles()->styles[ws.data().find(4, 3)->style].gradient);
    }
    app->Quit();
  }
}

// Only positions inside the copied rectangle are looked at: formats of whole columns and of
// rows far below cost nothing beyond the block. Between two cells of a formatted row, the row's
// format fills the gap.
TEST(RowAndColumnFormats, OnlyTheBlockIsFilled) {
  Style bold, fill;
  bold.bold = true;
  fill.pattern = FillPattern::Solid;
  fill.fillFg = kYellow;
  StyleTable st{{Style{}, bold, fill}};
  for (bool columns : {true, false}) {
    SCOPED_TRACE(columns ? "with a column format" : "rows only");
    SheetData src;
    auto number = [&](uint32_t row, uint16_t col) {
      Cell c;
      c.row = row;
      c.col = col;
      c.type = CellType::Number;
      src.cells.push_back(c);
    };
    number(0, 0);
    number(3, 0);
    number(3, 2);
    number(4999, 1);
    if (columns) src.colInfo = {{0, kMaxCols - 1, -1, false, true, 1}};
    src.rowInfo = {{3, -1, false, true, 2}, {900000, -1, false, true, 2}};
    src.finishLoading();
    EXPECT_EQ(src.used, (Rect{0, 0, 900000, 2}));  // the formatted row far below is in use

    SheetData out;
    StyleTable outStyles{{Style{}}};
    StyleInterner styles(outStyles);
    StringInterner strings(out.strings);
    PasteDestination dst{out, styles, strings};
    PasteBlock(src, st, Rect{0, 0, 4999, 2}, dst, 10, 10);
    // Row 4 (index 3): its fill between and around its two cells; other rows: the column's bold.
    size_t expected = columns ? 5000u * 3u : 4u + 1u;
    EXPECT_EQ(out.cells.size(), expected);
    EXPECT_TRUE(out.sorted);
    const Cell* gap = out.find(13, 11);
    ASSERT_TRUE(gap);
    EXPECT_EQ(outStyles.styles[gap->style], fill);
    if (columns) {
      EXPECT_EQ(outStyles.styles[out.find(5009, 12)->style], bold);
    }
    EXPECT_EQ(out.used, (Rect{10, 10, 5009, 12}));
  }
}

}  // namespace
}  // namespace corvane
