// The scanner that lists the tables of an .ods content.xml, and finds where one begins,
// from the bytes alone: whatever way the bytes are cut into chunks.
#include "engine/ods/ods_scanner.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/core/error.h"

namespace corvane::ods {
namespace {

const std::string kDoc =
    "<office:document-content><office:body><office:spreadsheet>"
    "<table:calculation-settings><table:null-date table:date-value=\"1904-01-01\"/></table:calculation-settings>"
    "<table:table table:name=\"A &amp; B\" table:style-name=\"ta1\"><table:table-row><table:table-cell/>"
    "</table:table-row></table:table>"
    "<table:table\ntable:style-name='ta2' table:name='Caf&#xE9; &lt;1&gt;'/>"
    "<table:table-other table:name=\"not a table\"/>"
    "<table:table table:name=\"Third\"><table:table table:name=\"nested, not listed\"/></table:table>"
    "</office:spreadsheet><after/></office:body></office:document-content>";

// Feeds `doc` in chunks of `chunk` bytes; true when the end of the spreadsheet stopped it.
bool Feed(TableScanner& s, const std::string& doc, size_t chunk) {
  try {
    for (size_t at = 0; at < doc.size(); at += chunk) s.feed(doc.data() + at, std::min(chunk, doc.size() - at));
  } catch (const StopParsing&) {
    return true;
  }
  return false;
}

TEST(OdsScanner, ListsTopLevelTablesInAnyChunking) {
  for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, size_t{64}, kDoc.size()}) {
    SCOPED_TRACE(chunk);
    TableList list;
    TableScanner s(Prefixes{}, &list, "\"a.ods\" (part content.xml)");
    EXPECT_TRUE(Feed(s, kDoc, chunk));
    ASSERT_EQ(list.tables.size(), 3u);
    EXPECT_EQ(list.tables[0].name, "A & B");
    EXPECT_EQ(list.tables[0].style, "ta1");
    EXPECT_EQ(list.tables[1].name, "Caf\u00E9 <1>");
    EXPECT_EQ(list.tables[1].style, "ta2");
    EXPECT_EQ(list.tables[2].name, "Third");
    EXPECT_EQ(list.nullDate, "1904-01-01");
  }
}

TEST(OdsScanner, HandsOnTheBytesFromTheTableSought) {
  for (size_t target : {0u, 1u, 2u}) {
    for (size_t chunk : {size_t{1}, size_t{5}, kDoc.size()}) {
      SCOPED_TRACE(std::to_string(target) + " " + std::to_string(chunk));
      std::string got;
      TableScanner s(Prefixes{}, nullptr, "doc", target, [&](const char* p, size_t n) { got.append(p, n); });
      Feed(s, kDoc, chunk);
      const char* starts[] = {"<table:table table:name=\"A", "<table:table\ntable:style-name='ta2'",
                              "<table:table table:name=\"Third\""};
      EXPECT_EQ(got, kDoc.substr(kDoc.find(starts[target])));
    }
  }
}

TEST(OdsScanner, FollowsTheDocumentsPrefixesAndRefusesEndlessTags) {
  Prefixes px;
  const char* decl[] = {"xmlns:o", "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
                        "xmlns:t", "urn:oasis:names:tc:opendocument:xmlns:table:1.0", nullptr};
  px.read(decl);
  TableList list;
  TableScanner s(px, &list, "doc");
  EXPECT_TRUE(Feed(s, "<o:spreadsheet><table:table table:name=\"x\"/><t:table t:name=\"Mine\"/></o:spreadsheet>", 3));
  ASSERT_EQ(list.tables.size(), 1u);
  EXPECT_EQ(list.tables[0].name, "Mine");

  TableScanner endless(Prefixes{}, &list, "\"a.ods\" (part content.xml)");
  std::string tag = "<table:table table:name=\"" + std::string(3u << 20, 'x');
  try {
    Feed(endless, tag, 4096);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(std::string(e.what()), "\"a.ods\" (part content.xml) is damaged: a tag is too long.");
  }
}

}  // namespace
}  // namespace corvane::ods
