// A damaged part of any format fails with a description that names the file and the part as
// that format calls it: styles.xml of an .xlsx, styles.bin of an .xlsb, a sheet with its part.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "engine/automation/workbook_open.h"
#include "engine/core/error.h"
#include "test_support.h"

namespace corvane {
namespace {

TEST(PartErrors, NameTheFileAndThePart) {
  struct Case {
    const char* source;   // a corpus workbook
    const char* part;     // the part to damage, by the end of its name
    std::string damaged;  // what it holds instead
    const char* expected;  // in the description, after the file's name
  };
  const Case cases[] = {
      {"xlsx/calamine_any_sheets.xlsx", "xl/styles.xml", "<styleSheet><fonts>", " (part xl/styles.xml) is damaged: "},
      {"xlsx/calamine_any_sheets.xlsx", "theme1.xml", "<a:theme>", " (part xl/theme/theme1.xml) is damaged: "},
      {"xlsx/calamine_any_sheets.xlsx", "xl/styles.xml", "<!DOCTYPE s><styleSheet/>",
       " (part xl/styles.xml) holds a document type declaration"},
      {"xlsx/calamine_any_sheets.xlsx", "sheet1.xml", "<worksheet><sheetData><row r=\"0\"/>",
       " (sheet \"Visible\", part xl/worksheets/sheet1.xml) is damaged: "},
      {"xlsb/poi_testVarious.xlsb", "styles.bin", std::string("\x2B\x7F", 2), " (part xl/styles.bin) is damaged: "},
      {"ods/calamine_any_sheets.ods", "styles.xml", "<office:document-styles>", " (part styles.xml) is damaged: "},
  };
  test::TempDir tmp;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.part);
    auto parts = test::ReadZip(test::Corpus() / c.source);
    bool found = false;
    for (auto& [name, body] : parts) {
      if (std::string_view(name).ends_with(c.part)) {
        body = c.damaged;
        found = true;
      }
    }
    ASSERT_TRUE(found);
    std::string ext = std::string(c.source).substr(std::string(c.source).rfind('.'));
    auto path = tmp / ("w" + ext);
    test::WriteZip(path, parts);
    try {
      auto r = OpenWorkbookFile(path.string());
      r->styles();
      for (size_t i = 0; i < r->sheets().size(); ++i) r->loadSheet(i);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_NE(std::string(e.description()).find(Quoted(path.string()) + c.expected), std::string::npos)
          << e.description();
    }
  }
}

// A relationship that climbs out of the package, and a part stored under a name that would,
// stay names inside the package: nothing is read from, or written to, the file system there.
TEST(PartErrors, PackagePathsNeverReachTheFileSystem) {
  test::TempDir tmp;
  const std::string outside = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                              "<sheetData><row r=\"1\"><c r=\"A1\"><v>4242</v></c></row></sheetData></worksheet>";
  { std::ofstream(tmp / "outside.xml") << outside; }
  auto parts = test::ReadZip(test::Corpus() / "xlsx/calamine_any_sheets.xlsx");
  std::string& rels = parts.at("xl/_rels/workbook.xml.rels");
  const std::string climb = "../../../../../../../../.." + (tmp / "outside.xml").string();
  rels.replace(rels.find("worksheets/sheet1.xml"), 21, climb);
  parts["../../stored-outside.xml"] = outside;
  auto path = tmp / "climbs.xlsx";
  test::WriteZip(path, parts);
  try {
    auto r = OpenWorkbookFile(path.string());
    for (size_t i = 0; i < r->sheets().size(); ++i)
      for (const Cell& c : r->loadSheet(i)->cells) EXPECT_NE(c.number(), 4242) << r->sheets()[i].name;
  } catch (const AutomationError& e) {
    EXPECT_NE(std::string(e.description()).find("are missing"), std::string::npos) << e.description();
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "../../stored-outside.xml"));
}

}  // namespace
}  // namespace corvane
