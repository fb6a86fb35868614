// An .xlsx package built around parts cut from a fuzzed input: the workbook part, the first
// worksheet, the styles, the shared strings and the workbook's relationships, in that order,
// separated by kPartSeparator. Missing ones are left out; the content types and the
// package relationships are fixed.
#pragma once

#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {

inline constexpr std::string_view kPartSeparator = "\n@@part@@\n";

inline std::string PartsPackage(std::string_view input) {
  static const char* const kNames[] = {"xl/workbook.xml", "xl/worksheets/sheet1.xml", "xl/styles.xml",
                                       "xl/sharedStrings.xml", "xl/_rels/workbook.xml.rels"};
  std::vector<std::string> pieces = SplitInput(input, kPartSeparator, 5);
  std::vector<std::pair<std::string, std::string>> parts = {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Override PartName=\"/xl/workbook.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
       "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
       "<Override PartName=\"/xl/styles.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
       "<Override PartName=\"/xl/sharedStrings.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
       "</Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
       "Target=\"xl/workbook.xml\"/></Relationships>"},
  };
  for (size_t i = 0; i < pieces.size(); ++i) parts.emplace_back(kNames[i], std::move(pieces[i]));
  return StoredZip(parts);
}

}  // namespace corvane::fuzz
