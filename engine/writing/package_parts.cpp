#include "engine/writing/package_parts.h"

#include "engine/writing/xml_out.h"

namespace corvane {

namespace {

constexpr std::string_view kXmlDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kOfficeRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr std::string_view kSheetMl = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

void Override(ByteBuffer& b, std::string_view part, std::string_view prefix, std::string_view type) {
  b.append("<Override PartName=\"");
  b.append(part);
  b.append("\" ContentType=\"");
  b.append(prefix);
  b.append(type);
  b.append("\"/>");
}

void Relationship(ByteBuffer& b, size_t id, std::string_view type, std::string_view target) {
  b.append("<Relationship Id=\"rId");
  AppendUnsigned(b, id);
  b.append("\" Type=\"");
  b.append(type);
  b.append("\" Target=\"");
  b.append(target);
  b.append("\"/>");
}

std::string Text(const ByteBuffer& b) { return std::string(b.view()); }

}  // namespace

std::string ContentTypesXml(const PackageContents& p) {
  bool comments = false;
  for (const PackageSheet& s : p.sheets) comments |= s.comments;
  ByteBuffer b;
  b.append(kXmlDecl);
  b.append(
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>");
  if (comments)
    b.append("<Default Extension=\"vml\" ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>");
  Override(b, "/docProps/app.xml", "application/vnd.openxmlformats-officedocument.", "extended-properties+xml");
  Override(b, "/docProps/core.xml", "application/vnd.openxmlformats-package.", "core-properties+xml");
  Override(b, "/xl/workbook.xml", kSheetMl, "sheet.main+xml");
  Override(b, "/xl/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.", "theme+xml");
  Override(b, "/xl/styles.xml", kSheetMl, "styles+xml");
  Override(b, "/xl/sharedStrings.xml", kSheetMl, "sharedStrings+xml");
  if (p.dynamicArrays) Override(b, "/xl/metadata.xml", kSheetMl, "sheetMetadata+xml");
  for (size_t i = 1; i <= p.sheets.size(); ++i) {
    std::string n = std::to_string(i);
    Override(b, "/xl/worksheets/sheet" + n + ".xml", kSheetMl, "worksheet+xml");
    if (p.sheets[i - 1].comments) Override(b, "/xl/comments" + n + ".xml", kSheetMl, "comments+xml");
  }
  b.append("</Types>");
  return Text(b);
}

std::string RootRelationshipsXml() {
  ByteBuffer b;
  b.append(kXmlDecl);
  b.append("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
  Relationship(b, 1, std::string(kOfficeRels) + "officeDocument", "xl/workbook.xml");
  Relationship(b, 2, "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
               "docProps/core.xml");
  Relationship(b, 3, std::string(kOfficeRels) + "extended-properties", "docProps/app.xml");
  b.append("</Relationships>");
  return Text(b);
}

std::string AppPropertiesXml(const PackageContents& p) {
  ByteBuffer b;
  b.append(kXmlDecl);
  b.append(
      "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
      "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
      "<Application>Corvane</Application><DocSecurity>0</DocSecurity><ScaleCrop>false</ScaleCrop>"
      "<HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr>"
      "</vt:variant><vt:variant><vt:i4>");
  AppendUnsigned(b, p.sheets.size());
  b.append("</vt:i4></vt:variant></vt:vector></HeadingPairs><TitlesOfParts><vt:vector size=\"");
  AppendUnsigned(b, p.sheets.size());
  b.append("\" baseType=\"lpstr\">");
  for (const PackageSheet& s : p.sheets) {
    b.append("<vt:lpstr>");
    AppendXml(b, s.name, XmlText::Content);
    b.append("</vt:lpstr>");
  }
  b.append(
      "</vt:vector></TitlesOfParts><LinksUpToDate>false</LinksUpToDate><SharedDoc>false</SharedDoc>"
      "<HyperlinksChanged>false</HyperlinksChanged><AppVersion>12.0000</AppVersion></Properties>");
  return Text(b);
}

std::string CorePropertiesXml(std::time_t created) {
  std::tm t{};
  gmtime_r(&created, &t);
  // W3CDTF in UTC: 2026-12-07T03:10:31Z.
  char stamp[24];
  char* p = stamp;
  auto two = [&](int v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
  };
  int year = t.tm_year + 1900;
  two(year / 100);
  two(year % 100);
  *p++ = '-';
  two(t.tm_mon + 1);
  *p++ = '-';
  two(t.tm_mday);
  *p++ = 'T';
  two(t.tm_hour);
  *p++ = ':';
  two(t.tm_min);
  *p++ = ':';
  two(t.tm_sec);
  *p++ = 'Z';
  std::string_view when(stamp, static_cast<size_t>(p - stamp));
  ByteBuffer b;
  b.append(kXmlDecl);
  b.append(
      "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
      "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
      "<dcterms:created xsi:type=\"dcterms:W3CDTF\">");
  b.append(when);
  b.append("</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">");
  b.append(when);
  b.append("</dcterms:modified></cp:coreProperties>");
  return Text(b);
}

std::string WorkbookXml(const PackageContents& p) {
  ByteBuffer b;
  b.append(kXmlDecl);
  b.append(
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<workbookPr defaultThemeVersion=\"124226\"/><bookViews><workbookView xWindow=\"240\" "
      "yWindow=\"15\" windowWidth=\"16095\" windowHeight=\"9660\"/></bookViews><sheets>");
  for (size_t i = 1; i <= p.sheets.size(); ++i) {
    b.append("<sheet");
    AppendAttr(b, "name", p.sheets[i - 1].name);
    b.append(" sheetId=\"");
    AppendUnsigned(b, i);
    b.append("\" r:id=\"rId");
    AppendUnsigned(b, i);
    b.append("\"/>");
  }
  // Cached results came from other places; the spreadsheet works every formula out afresh.
  b.append("</sheets><calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>");
  return Text(b);
}

std::string WorkbookRelationshipsXml(const PackageContents& p) {
  ByteBuffer b;
  b.append(kXmlDecl);
  b.append("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
  std::string type(kOfficeRels);
  size_t id = 0;
  for (size_t i = 1; i <= p.sheets.size(); ++i)
    Relationship(b, ++id, type + "worksheet", "worksheets/sheet" + std::to_string(i) + ".xml");
  Relationship(b, ++id, type + "theme", "theme/theme1.xml");
  Relationship(b, ++id, type + "styles", "styles.xml");
  Relationship(b, ++id, type + "sharedStrings", "sharedStrings.xml");
  if (p.dynamicArrays) Relationship(b, ++id, type + "sheetMetadata", "metadata.xml");
  b.append("</Relationships>");
  return Text(b);
}

std::string_view DynamicArrayMetadataXml() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<metadata xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:xda=\"http://schemas.microsoft.com/office/spreadsheetml/2017/dynamicarray\">"
         "<metadataTypes count=\"1\"><metadataType name=\"XLDAPR\" minSupportedVersion=\"120000\" "
         "copy=\"1\" pasteAll=\"1\" pasteValues=\"1\" merge=\"1\" splitFirst=\"1\" rowColShift=\"1\" "
         "clearFormats=\"1\" clearComments=\"1\" assign=\"1\" coerce=\"1\" cellMeta=\"1\"/>"
         "</metadataTypes><futureMetadata name=\"XLDAPR\" count=\"1\"><bk><extLst>"
         "<ext uri=\"{bdbb8cdc-fa1e-496e-a857-3c3f30c029c3}\">"
         "<xda:dynamicArrayProperties fDynamic=\"1\" fCollapsed=\"0\"/></ext></extLst></bk>"
         "</futureMetadata><cellMetadata count=\"1\"><bk><rc t=\"1\" v=\"0\"/></bk></cellMetadata>"
         "</metadata>";
}

std::string SheetNameProblem(std::string_view name) {
  if (name.empty()) return "a sheet name may not be empty";
  size_t units = 0;
  for (char c : name) {
    auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  if (units > 31) return "a sheet name may hold at most 31 characters";
  for (char c : name)
    if (c == ':' || c == '\\' || c == '/' || c == '?' || c == '*' || c == '[' || c == ']')
      return std::string("a sheet name may not hold the character ") + c;
  if (name.front() == '\'' || name.back() == '\'')
    return "a sheet name may not begin or end with an apostrophe";
  return {};
}

}  // namespace corvane
