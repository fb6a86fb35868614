#include "engine/containers/opc_package.h"

#include <cstring>

#include "engine/containers/xml_reader.h"
#include "engine/containers/zip_package.h"
#include "engine/core/ascii.h"
#include "engine/core/error.h"

namespace corvane {

namespace {

class RelsHandler : public XmlHandler {
 public:
  std::vector<Relationship> rels;
  void start(std::string_view name, const char** a) override {
    if (name != "Relationship") return;
    Relationship r;
    if (const char* v = Attr(a, "Id")) r.id = v;
    if (const char* v = Attr(a, "Type")) r.type = v;
    if (const char* v = Attr(a, "Target")) r.target = v;
    if (const char* v = Attr(a, "TargetMode")) r.external = std::strcmp(v, "External") == 0;
    rels.push_back(std::move(r));
  }
};

class ContentTypesHandler : public XmlHandler {
 public:
  ContentTypesHandler(std::string_view part, std::string_view ext) : part_(part), ext_(ext) {}
  std::string override_, byExtension_;
  void start(std::string_view name, const char** a) override {
    const char* type = Attr(a, "ContentType");
    if (!type) return;
    if (name == "Override") {
      const char* p = Attr(a, "PartName");
      std::string_view pn = p ? p : "";
      if (!pn.empty() && pn[0] == '/') pn.remove_prefix(1);
      if (EqualsNoCase(pn, part_)) override_ = type;
    } else if (name == "Default") {
      const char* e = Attr(a, "Extension");
      if (e && !ext_.empty() && EqualsNoCase(e, ext_)) byExtension_ = type;
    }
  }

 private:
  std::string_view part_, ext_;
};

std::vector<Relationship> ParseRels(const ZipPackage& pkg, const std::string& relsPart, const std::string& shown) {
  RelsHandler h;
  XmlParser parser(h, PartOf(shown, relsPart));
  pkg.stream(relsPart, [&](const char* p, size_t n) { parser.feed(p, n); });
  parser.finish();
  return std::move(h.rels);
}

}  // namespace

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string DirOf(std::string_view part) {
  auto slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

std::string ResolvePart(std::string_view baseDir, std::string_view target) {
  std::string joined = !target.empty() && target[0] == '/' ? std::string(target.substr(1))
                                                           : std::string(baseDir) + std::string(target);
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= joined.size()) {
    size_t j = joined.find('/', i);
    if (j == std::string::npos) j = joined.size();
    std::string seg = joined.substr(i, j - i);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    i = j + 1;
  }
  std::string out;
  for (auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

std::string RelsPartOf(std::string_view part) {
  auto slash = part.rfind('/');
  std::string dir = slash == std::string_view::npos ? "" : std::string(part.substr(0, slash + 1));
  std::string file(slash == std::string_view::npos ? part : part.substr(slash + 1));
  return dir + "_rels/" + file + ".rels";
}

std::vector<Relationship> ReadRelationships(const ZipPackage& pkg, std::string_view part, const std::string& shown) {
  std::string relsPart = RelsPartOf(part);
  if (!pkg.has(relsPart)) return {};
  return ParseRels(pkg, relsPart, shown);
}

std::string MainDocumentPart(const ZipPackage& pkg, const std::string& shown) {
  if (!pkg.has("_rels/.rels")) return {};
  for (auto& r : ParseRels(pkg, "_rels/.rels", shown))
    if (EndsWith(r.type, "/officeDocument") && !r.external) return ResolvePart("", r.target);
  return {};
}

std::string PartContentType(const ZipPackage& pkg, std::string_view part, const std::string& shown) {
  static const std::string kTypes = "[Content_Types].xml";
  if (!pkg.has(kTypes)) return {};
  if (!part.empty() && part[0] == '/') part.remove_prefix(1);
  std::string_view file = part.substr(part.rfind('/') + 1);
  auto dot = file.rfind('.');
  ContentTypesHandler h(part, dot == std::string_view::npos ? std::string_view() : file.substr(dot + 1));
  XmlParser parser(h, PartOf(shown, kTypes));
  pkg.stream(kTypes, [&](const char* p, size_t n) { parser.feed(p, n); });
  parser.finish();
  return h.override_.empty() ? h.byExtension_ : h.override_;
}

bool IsBinaryWorkbookPackage(const ZipPackage& pkg, const std::string& shown) {
  std::string main = MainDocumentPart(pkg, shown);
  if (main.empty()) return pkg.has("xl/workbook.bin");
  std::string type;
  try {
    type = PartContentType(pkg, main, shown);
  } catch (const AutomationError&) {
    // Damaged content types say nothing; the readers do without them.
  }
  if (EqualsNoCase(type, "application/vnd.ms-excel.sheet.binary.macroEnabled.main")) return true;
  if (EndsWith(type, "+xml")) return false;
  // No content type, or one that names no workbook (a Default meant for other parts).
  return main.size() > 4 && EqualsNoCase(std::string_view(main).substr(main.size() - 4), ".bin");
}

bool SheetKindOf(std::string_view type, SheetKind& kind) {
  if (EndsWith(type, "/worksheet")) kind = SheetKind::Worksheet;
  else if (EndsWith(type, "/chartsheet")) kind = SheetKind::Chartsheet;
  else if (EndsWith(type, "/dialogsheet")) kind = SheetKind::Dialogsheet;
  else if (EndsWith(type, "/xlMacrosheet") || EndsWith(type, "/xlIntlMacrosheet") || EndsWith(type, "/macrosheet"))
    kind = SheetKind::Macrosheet;
  else
    return false;
  return true;
}

WorkbookLinks FindWorkbookLinks(const std::vector<Relationship>& rels, std::string_view dir) {
  WorkbookLinks links;
  for (auto& r : rels) {
    if (r.external) continue;
    if (EndsWith(r.type, "/styles")) links.styles = ResolvePart(dir, r.target);
    else if (EndsWith(r.type, "/sharedStrings")) links.sharedStrings = ResolvePart(dir, r.target);
    else if (EndsWith(r.type, "/theme")) links.theme = ResolvePart(dir, r.target);
  }
  return links;
}

bool ResolveSheet(const std::vector<Relationship>& rels, std::string_view dir, std::string_view relId,
                  SheetKind& kind, std::string& part) {
  kind = SheetKind::Worksheet;
  part.clear();
  const Relationship* rel = nullptr;
  for (auto& r : rels)
    if (r.id == relId) rel = &r;
  if (!rel) return true;
  part = ResolvePart(dir, rel->target);
  return SheetKindOf(rel->type, kind);
}

}  // namespace corvane
