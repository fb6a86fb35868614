// The parts of a saved workbook besides its sheets, styles and strings: the content types,
// the relationships, the workbook part with its sheet list, the document properties, the
// theme and, for dynamic array formulas, the metadata part their cells refer to.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct PackageSheet {
  std::string name;
  bool comments = false;  // has xl/commentsN.xml and xl/drawings/vmlDrawingN.vml
};

// What the package holds; sheet N (1-based) is xl/worksheets/sheetN.xml.
struct PackageContents {
  std::vector<PackageSheet> sheets;
  bool dynamicArrays = false;  // xl/metadata.xml
};

std::string ContentTypesXml(const PackageContents& p);     // [Content_Types].xml
std::string RootRelationshipsXml();                          // _rels/.rels
std::string AppPropertiesXml(const PackageContents& p);    // docProps/app.xml
std::string CorePropertiesXml(std::time_t created);          // docProps/core.xml
std::string WorkbookXml(const PackageContents& p);         // xl/workbook.xml
std::string WorkbookRelationshipsXml(const PackageContents& p);  // xl/_rels/workbook.xml.rels
std::string_view OfficeThemeXml();                           // xl/theme/theme1.xml
std::string_view DynamicArrayMetadataXml();                  // xl/metadata.xml

// Why the spreadsheet would refuse `name` as a sheet name, or empty when it takes it.
std::string SheetNameProblem(std::string_view name);

}  // namespace corvane
