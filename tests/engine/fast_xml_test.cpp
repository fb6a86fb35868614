// FastXmlParser against expat: the same documents must give the same handler calls,
// however the bytes are cut into chunks, and the same documents must be refused.
#include "engine/containers/fast_xml.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <bit>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/containers/xml_reader.h"
#include "engine/core/error.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

// Every call as a line; adjacent text is joined, since either parser may split it.
class Recorder : public XmlHandler {
 public:
  std::vector<std::string> events;
  void start(std::string_view name, const char** attrs) override {
    std::string e = "<" + std::string(name);
    for (; *attrs; attrs += 2) e += " " + std::string(attrs[0]) + "=[" + attrs[1] + "]";
    events.push_back(e);
  }
  void end(std::string_view name) override { events.push_back("</" + std::string(name)); }
  void text(std::string_view s) override {
    if (!events.empty() && events.back()[0] == '#')
      events.back().append(s);
    else
      events.push_back("#" + std::string(s));
  }
};

std::vector<std::string> ByExpat(std::string_view doc) {
  Recorder r;
  XmlParser::Parse(r, doc, "\"doc\"");
  return r.events;
}

// Feeds the fast parser the pieces between the given cut positions.
std::vector<std::string> ByFast(std::string_view doc, const std::vector<size_t>& cuts = {}) {
  Recorder r;
  FastXmlParser p(r, "\"doc\"");
  size_t at = 0;
  for (size_t c : cuts) {
    p.feed(doc.data() + at, c - at);
    at = c;
  }
  p.feed(doc.data() + at, doc.size() - at);
  p.finish();
  return r.events;
}

std::vector<size_t> EveryByte(size_t n) {
  std::vector<size_t> cuts;
  for (size_t i = 1; i < n; ++i) cuts.push_back(i);
  return cuts;
}

// The fast parser, fed whole, in two pieces at every place and byte by byte, gives
// what expat gives.
void ExpectLikeExpat(std::string_view doc) {
  SCOPED_TRACE(std::string(doc));
  std::vector<std::string> want;
  ASSERT_NO_THROW(want = ByExpat(doc));
  EXPECT_EQ(ByFast(doc), want);
  for (size_t cut = 0; cut <= doc.size(); ++cut) {
    std::vector<std::string> got;
    ASSERT_NO_THROW(got = ByFast(doc, {cut})) << "cut at " << cut;
    ASSERT_EQ(got, want) << "cut at " << cut;
  }
  EXPECT_EQ(ByFast(doc, EveryByte(doc.size())), want);
}

std::string FastError(std::string_view doc, const std::vector<size_t>& cuts = {}) {
  try {
    ByFast(doc, cuts);
  } catch (const AutomationError& e) {
    return e.what();
  }
  return "";
}

// The fast parser refuses `doc` with `message` however it is cut, and expat refuses it too.
void ExpectRefused(std::string_view doc, const std::string& message) {
  SCOPED_TRACE(std::string(doc));
  EXPECT_THROW(ByExpat(doc), AutomationError);
  EXPECT_EQ(FastError(doc), message);
  for (size_t cut = 0; cut <= doc.size(); ++cut) ASSERT_EQ(FastError(doc, {cut}), message) << "cut at " << cut;
  EXPECT_EQ(FastError(doc, EveryByte(doc.size())), message);
}

std::string Damaged(const std::string& why, int line = 1) {
  return "\"doc\" is damaged: " + why + " at line " + std::to_string(line) + ".";
}

TEST(FastXml, ReferencesAreDecodedInTextAndAttributes) {
  ExpectLikeExpat("<a>&amp;&lt;&gt;&quot;&apos; x&amp;y</a>");
  ExpectLikeExpat("<a>&#65;&#x42;&#x00e9;&#233;&#x20AC;&#x1F600;&#9;&#13;&#10;</a>");
  ExpectLikeExpat("<a v=\"&amp;&lt;&gt;&quot;&apos;\" w='&#65;&#x1F600;&#10;&#13;&#9;'/>");
  // Leading zeros are allowed.
  ExpectLikeExpat("<a>&#0000065;&#x0000041;</a>");
}

TEST(FastXml, CdataPassesThroughRaw) {
  ExpectLikeExpat("<a><![CDATA[<b>&amp;</b> ] ]] ]>]]></a>");
  ExpectLikeExpat("<a>x<![CDATA[]]>y<![CDATA[]]]]><![CDATA[a]b]]c]]]></a>");
  ExpectLikeExpat("<a><![CDATA[line\r\nnext\rlast]]></a>");
}

TEST(FastXml, CommentsAndProcessingInstructionsAreSkipped) {
  ExpectLikeExpat(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!-- before - -->"
      "<?app data?><a>x<!-- in <b> & - -->y<?pi with ? and > inside?>z</a><!--after--><?end?>\n");
  ExpectLikeExpat("<a><!----><?p?></a>");
  ExpectLikeExpat("\xEF\xBB\xBF<?xml version=\"1.0\"?><a/>");
  ExpectLikeExpat("<?xml\tversion = '1.0'  encoding=\"utf-8\" standalone='no' ?><?xml-stylesheet href=\"a\"?><a/>");
}

TEST(FastXml, NamesKeepTheirPrefixesOnAttributesOnly) {
  ExpectLikeExpat(
      "<x:worksheet xmlns:x=\"urn:x\" xmlns:r=\"urn:r\" xmlns=\"urn:d\"><x:c r:id=\"rId1\" s=\"1\"/>"
      "<d.e-f_g:h1 a:b.c-d=\"1\"></d.e-f_g:h1></x:worksheet>");
  ExpectLikeExpat("<\xC3\xA9l\xC3\xA9ment attr\xC3\xA9=\"v\">\xF0\x9F\x98\x80</\xC3\xA9l\xC3\xA9ment>");
}

TEST(FastXml, TagsAndAttributeValues) {
  ExpectLikeExpat("<a/>");
  ExpectLikeExpat("<a><b/><c></c><d x=\"1\"/></a>");
  ExpectLikeExpat("<a  b = \"double 'q'\"\tc\n=\r\n'single \"q\" > end' d=\"\"  ></a >");
  // White space characters in values read as spaces; CR LF as one.
  ExpectLikeExpat("<a v=\"1\t2\n3\r\n4\r5\"/>");
  ExpectLikeExpat("<a v=\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"/>");
}

TEST(FastXml, TextKeepsWhiteSpaceAndNormalisesLineEnds) {
  ExpectLikeExpat("<a>\n  <b>  </b>\n\t<c>x y</c>\n</a>");
  ExpectLikeExpat("<a>1\r\n2\r3\n\r\n\r\r4</a>");
  ExpectLikeExpat("<a>] ]] ]>>x]</a>");
  ExpectLikeExpat("<a>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD</a>");
}

TEST(FastXml, TokensLongerThanAChunkAreReadWhole) {
  std::string big(200000, 'v');
  std::string doc = "<a x=\"" + big + "&amp;\" y='" + big + "'>" + big + "&lt;<![CDATA[" + big + "]]><!--" + big +
                    "--><?p " + big + "?><b" + std::string(1000, ' ') + "/></a>";
  std::vector<std::string> want = ByExpat(doc);
  for (size_t step : {7u, 1000u, 4096u, 65536u}) {
    std::vector<size_t> cuts;
    for (size_t at = step; at < doc.size(); at += step) cuts.push_back(at);
    EXPECT_EQ(ByFast(doc, cuts), want) << "chunks of " << step;
  }
}

TEST(FastXml, TheHandlersOwnExceptionsPassThrough) {
  struct Refuses : XmlHandler {
    void start(std::string_view name, const char**) override {
      if (name == "bad") throw std::out_of_range("no bad elements");
    }
  } h;
  EXPECT_THROW(FastXmlParser::Parse(h, "<a><ok/><bad/></a>", "\"doc\""), std::out_of_range);
}

TEST(FastXml, DamageIsReportedWithExpatsWordsAndTheLine) {
  ExpectRefused("<a>\n<b>\n</a>", Damaged("mismatched tag", 3));
  ExpectRefused("<a><b></b>", Damaged("no element found"));
  ExpectRefused("<a>text", Damaged("no element found"));
  ExpectRefused("", Damaged("no element found"));
  ExpectRefused(" <!-- only a comment --> ", Damaged("no element found"));
  ExpectRefused("<a", Damaged("unclosed token"));
  ExpectRefused("<a><!-- x", Damaged("unclosed token"));
  ExpectRefused("<a>&amp", Damaged("unclosed token"));
  ExpectRefused("<a><![CDATA[x", Damaged("unclosed CDATA section"));
  ExpectRefused("<a>\n&foo;</a>", Damaged("undefined entity", 2));
  ExpectRefused("<a>& amp;</a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a>&#65</a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a>&#0;</a>", Damaged("reference to invalid character number"));
  ExpectRefused("<a>&#xD800;</a>", Damaged("reference to invalid character number"));
  ExpectRefused("<a>&#x110000;</a>", Damaged("reference to invalid character number"));
  ExpectRefused("<a>&#99999999999;</a>", Damaged("reference to invalid character number"));
  ExpectRefused("<a/>\ntext", Damaged("junk after document element", 2));
  ExpectRefused("<a/><b/>", Damaged("junk after document element"));
  ExpectRefused("<a/></a>", Damaged("junk after document element"));
  ExpectRefused("x<a/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a b=\"<\"/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a b=\"1\"c=\"2\"/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a b=1/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a b=\"1\" b='2'/>", Damaged("duplicate attribute"));
  ExpectRefused("<a>]]></a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a><!-- a -- b --></a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a>\x01</a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a b=\"\x1F\"/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a>\xFF</a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a>\xC3</a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a>\xED\xA0\x80</a>", Damaged("not well-formed (invalid token)"));  // a surrogate
  ExpectRefused("<a>\xEF\xBF\xBE</a>", Damaged("not well-formed (invalid token)"));  // U+FFFE
  ExpectRefused("<a>\xE0\x80\xAF</a>", Damaged("not well-formed (invalid token)"));  // overlong
  ExpectRefused("<a></ a>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<1a/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a><![CDATA[x]]></a><![CDATA[y]]>", Damaged("junk after document element"));
  ExpectRefused(" <?xml version=\"1.0\"?><a/>", Damaged("XML or text declaration not at start of entity"));
  ExpectRefused("<?XML version=\"1.0\"?><a/>", Damaged("not well-formed (invalid token)"));
  ExpectRefused("<a><?pi?x?></a>", Damaged("not well-formed (invalid token)"));
  for (std::string decl : {"<?xml?>", "<?xml encoding=\"utf-8\"?>", "<?xml version=\"1 0\"?>",
                           "<?xml version=\"1.0\"encoding=\"utf-8\"?>", "<?xml version=\"1.0\" encoding=\"8\"?>",
                           "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"utf-8\"?>",
                           "<?xml version=\"1.0\" standalone=\"maybe\"?>", "<?xml version=\"1.0\" other=\"x\"?>"})
    ExpectRefused(decl + "<a/>", Damaged("XML declaration not well-formed"));
}

TEST(FastXml, DocumentTypeDeclarationsAreRefusedAnywhere) {
  const std::string refused = "\"doc\" holds a document type declaration, which Corvane refuses for safety.";
  for (std::string doc : {"<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>", "<?xml version=\"1.0\"?>\n<!DOCTYPE a><a/>",
                          "<a><!DOCTYPE a></a>"}) {
    SCOPED_TRACE(doc);
    EXPECT_THROW(ByExpat(doc), AutomationError);
    EXPECT_EQ(FastError(doc), refused);
    EXPECT_EQ(FastError(doc, EveryByte(doc.size())), refused);
  }
  // Where expat sees one it says the same.
  try {
    ByExpat("<!DOCTYPE a><a/>");
    ADD_FAILURE() << "expat took a document type declaration";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.what(), refused);
  }
}

// Damaged variants of a sheet, made by changing, dropping and repeating bytes: the
// fast parser takes exactly those expat takes, with the same calls.
TEST(FastXml, MutatedDocumentsAreTakenOrRefusedLikeExpat) {
  const std::string sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<worksheet xmlns=\"urn:main\" xmlns:r=\"urn:rel\"><sheetData>"
      "<row r=\"1\" spans=\"1:3\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c><c r=\"B1\" t='inlineStr'>"
      "<is><t xml:space=\"preserve\"> a&amp;b &#x263A; </t></is></c><c r=\"C1\"><f>SUM(A1:B1)&gt;0</f><v>1</v></c></row>"
      "<!-- note --><row r=\"2\"><c r=\"A2\" t=\"str\"><f><![CDATA[\"x\"&\"]\"]]></f><v>x]</v></c></row>"
      "</sheetData><hyperlinks><hyperlink ref=\"A1\" r:id=\"rId1\" tooltip=\"&quot;t&apos;\"/></hyperlinks>"
      "</worksheet>\n";
  const std::string alphabet = "<>/?!-[]&;#x'\"= \r\n\tab:1\xC3\xA9\x01";
  std::mt19937 rng(20240601);
  int taken = 0, refused = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string doc = sheet;
    int edits = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < edits; ++k) {
      size_t at = rng() % doc.size();
      switch (rng() % 3) {
        case 0: doc[at] = alphabet[rng() % alphabet.size()]; break;
        case 1: doc.erase(at, 1 + rng() % 4); break;
        default: doc.insert(at, doc.substr(rng() % doc.size(), 1 + rng() % 8)); break;
      }
    }
    SCOPED_TRACE(doc);
    std::vector<std::string> want;
    bool expatTakes = true;
    try {
      want = ByExpat(doc);
    } catch (const AutomationError&) {
      expatTakes = false;
    }
    std::vector<size_t> cuts{doc.size() / 3, doc.size() / 3 + 1, doc.size() / 2};
    if (expatTakes) {
      ++taken;
      std::vector<std::string> got;
      ASSERT_NO_THROW(got = ByFast(doc, cuts));
      ASSERT_EQ(got, want);
    } else {
      ++refused;
      ASSERT_NE(FastError(doc, cuts), "");
    }
  }
  // Both outcomes must have been tried often.
  EXPECT_GT(taken, 1000);
  EXPECT_GT(refused, 10000);
}

// Every XML part of every corpus workbook, worksheets above all, reads alike.
TEST(FastXml, EveryCorpusPartReadsAsWithExpat) {
  int workbooks = 0, worksheets = 0;
  for (const char* folder : {"xlsx", "xlsm", "broken"}) {
    for (auto& entry : std::filesystem::directory_iterator(test::Corpus() / folder)) {
      std::string ext = entry.path().extension().string();
      if (ext != ".xlsx" && ext != ".xlsm") continue;
      int err = 0;
      zip_t* z = zip_open(entry.path().c_str(), ZIP_RDONLY, &err);
      if (!z) continue;
      ++workbooks;
      for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        std::string name = zip_get_name(z, static_cast<zip_uint64_t>(i), 0);
        if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        if (!f) continue;
        std::string doc;
        char buf[65536];
        zip_int64_t n;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0) doc.append(buf, static_cast<size_t>(n));
        zip_fclose(f);
        if (n < 0) continue;
        SCOPED_TRACE(entry.path().string() + " " + name);
        bool sheet = name.starts_with("xl/worksheets/") && name.find('/', 14) == std::string::npos;
        worksheets += sheet;
        std::vector<std::string> want;
        std::string expatError;
        try {
          want = ByExpat(doc);
        } catch (const AutomationError& e) {
          expatError = e.what();
        }
        // Whole, and in pieces cut at odd places so that tokens straddle them.
        std::vector<size_t> cuts;
        for (size_t at = 4093; at < doc.size(); at += 4093) cuts.push_back(at);
        for (const auto& c : {std::vector<size_t>{}, cuts}) {
          if (expatError.empty()) {
            std::vector<std::string> got;
            ASSERT_NO_THROW(got = ByFast(doc, c));
            ASSERT_EQ(got, want);
          } else if (expatError.find("document type") != std::string::npos) {
            EXPECT_EQ(FastError(doc, c), expatError);
          } else {
            EXPECT_NE(FastError(doc, c), "");
          }
        }
      }
      zip_close(z);
    }
  }
  EXPECT_GE(workbooks, 74);
  EXPECT_GE(worksheets, 200);
}

// Worksheets are read through the fast parser. Their numbers come out exactly as strtod
// reads them, and the stored dimension, right or wrong, changes nothing.
TEST(FastXmlSheets, NumbersReadExactlyWhateverTheDimensionClaims) {
  std::vector<std::string> numbers = {"0", "-0", "1.25", "0.1", "0.3", "2.675", "123456789012345",
                                      "1234567890123456", "9007199254740993", "0.000000000000001",
                                      "3.14159265358979", "-2.5", "5.", ".5", "-.5", "00012.5000", "1e3",
                                      "1.5E-7", "+4", " 7", "1.7976931348623157e308", "4.9e-324"};
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::string n = rng() % 4 == 0 ? "-" : "";
    int digits = 1 + static_cast<int>(rng() % 17);
    int point = static_cast<int>(rng() % static_cast<unsigned>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point && d > 0) n += '.';
      n += static_cast<char>('0' + rng() % 10);
    }
    numbers.push_back(n);
  }
  std::string cells;
  for (size_t i = 0; i < numbers.size(); ++i) {
    std::string r = std::to_string(i + 1);
    cells += "<row r=\"" + r + "\"><c r=\"B" + r + "\"><v>" + numbers[i] + "</v></c></row>";
  }
  std::string rows = std::to_string(numbers.size());
  test::TempDir tmp;
  auto path = tmp / "numbers.xlsx";
  test::WriteWorkbook(path, {{"None", "<sheetData>" + cells + "</sheetData>"},
                             {"Small", "<dimension ref=\"B1\"/><sheetData>" + cells + "</sheetData>"},
                             {"Exact", "<dimension ref=\"B1:B" + rows + "\"/><sheetData>" + cells + "</sheetData>"},
                             {"Huge", "<dimension ref=\"A1:XFD1048576\"/><sheetData>" + cells + "</sheetData>"}});
  auto app = Application::Create();
  Workbook& wb = app->Workbooks().Open(path.string());
  for (int s = 1; s <= 4; ++s) {
    Worksheet& ws = wb.Worksheets()(s);
    SCOPED_TRACE(ws.Name());
    const SheetData& d = ws.data();
    ASSERT_EQ(d.cells.size(), numbers.size());
    for (size_t i = 0; i < numbers.size(); ++i) {
      const Cell* c = d.find(static_cast<int32_t>(i), 1);
      ASSERT_NE(c, nullptr) << numbers[i];
      // strtod in the C locale: the reference, independent of the one the tests run under.
      double want = strtod_l(numbers[i].c_str(), nullptr, test::CLocale());
      EXPECT_EQ(std::bit_cast<uint64_t>(c->num), std::bit_cast<uint64_t>(want)) << numbers[i];
    }
  }
  app->Quit();
}

}  // namespace
}  // namespace corvane
