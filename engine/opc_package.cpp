#include "engine/opc_package.h"

#include <cstring>

#include "engine/xml_reader.h"
#include "engine/zip_package.h"

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

std::vector<Relationship> ParseRels(const ZipPackage& pkg, const std::string& relsPart, const std::string& shown) {
  RelsHandler h;
  XmlParser parser(h, "\"" + shown + "\" (part " + relsPart + ")");
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
