// The structure of our files against libxlsxwriter's: the same workbook (values, formulas,
// every kind of format libxlsxwriter writes, rows and columns, merges, links, comments) is
// saved by both, and every part is compared: the order of each element's children, which the
// schema fixes, and the meaning of every attribute, with style, string, author and
// relationship references followed to what they name. libxlsxwriter's own output is checked
// against files the spreadsheet wrote, so this checks ours against a structure it accepts.
#include <expat.h>
#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "engine/core/builtin_formats.h"
#include "engine/writing/xlsx_writer.h"
#include "tests/engine/lxw_reference.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsx_readback.h"

namespace corvane {
namespace {

struct Node {
  std::string name;
  std::map<std::string, std::string> attrs;
  std::vector<std::string> order;  // attribute names as written (for nothing but messages)
  std::vector<std::unique_ptr<Node>> kids;
  std::string text;
  const std::string* attr(const std::string& n) const {
    auto it = attrs.find(n);
    return it == attrs.end() ? nullptr : &it->second;
  }
  std::string get(const std::string& n) const { return attrs.count(n) ? attrs.at(n) : ""; }
  std::vector<const Node*> all(const std::string& n) const {
    std::vector<const Node*> out;
    for (const auto& k : kids)
      if (k->name == n) out.push_back(k.get());
    return out;
  }
  const Node* first(const std::string& n) const {
    auto v = all(n);
    return v.empty() ? nullptr : v.front();
  }
};

std::unique_ptr<Node> ParseXml(const std::string& xml) {
  auto root = std::make_unique<Node>();
  std::vector<Node*> stack{root.get()};
  XML_Parser p = XML_ParserCreate(nullptr);
  XML_SetUserData(p, &stack);
  XML_SetElementHandler(
      p,
      [](void* ud, const char* name, const char** atts) {
        auto& st = *static_cast<std::vector<Node*>*>(ud);
        auto n = std::make_unique<Node>();
        n->name = name;
        for (const char** a = atts; *a; a += 2) n->attrs[a[0]] = a[1];
        Node* raw = n.get();
        st.back()->kids.push_back(std::move(n));
        st.push_back(raw);
      },
      [](void* ud, const char*) { static_cast<std::vector<Node*>*>(ud)->pop_back(); });
  XML_SetCharacterDataHandler(p, [](void* ud, const char* s, int len) {
    static_cast<std::vector<Node*>*>(ud)->back()->text.append(s, static_cast<size_t>(len));
  });
  bool ok = XML_Parse(p, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(p);
  if (!ok) throw std::runtime_error("not well-formed XML");
  return root;
}

using Package = std::map<std::string, std::unique_ptr<Node>>;

Package Load(const std::string& path) {
  Package pkg;
  for (const auto& [name, data] : test::ReadZip(path)) pkg[name] = ParseXml(data);
  return pkg;
}

// ---------------------------------------------------------------------------
// Element order: of two children both files write under the same element, ours must put
// them in the reference's order.

using Precedence = std::map<std::string, std::set<std::pair<std::string, std::string>>>;

void Orders(const Node& n, const std::string& path, Precedence& out, std::map<std::string, std::set<std::string>>& names) {
  std::vector<std::string> seen;
  for (const auto& k : n.kids) {
    if (std::find(seen.begin(), seen.end(), k->name) == seen.end()) seen.push_back(k->name);
    names[path].insert(k->name);
    Orders(*k, path + "/" + k->name, out, names);
  }
  for (size_t i = 0; i < seen.size(); ++i)
    for (size_t j = i + 1; j < seen.size(); ++j) out[path].insert({seen[i], seen[j]});
}

// ---------------------------------------------------------------------------
// Meaning: facts with every reference followed.

std::string Norm(const std::string& v) {
  if (v == "true") return "1";
  if (v == "false") return "0";
  double d = 0;
  auto r = std::from_chars(v.data(), v.data() + v.size(), d);
  if (r.ec == std::errc() && r.ptr == v.data() + v.size() && !v.empty()) {
    char buf[40];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, d).ptr);
  }
  return v;
}

std::string Canon(const Node& n, const std::set<std::string>& skip = {}, bool children = true) {
  // A background colour of "system background" (indexed 64) says no more than none.
  if (n.name == "bgColor" && n.get("indexed") == "64") return "";
  std::string s = n.name + "(";
  for (const auto& [k, v] : n.attrs)
    if (!skip.count(k)) s += k + "=" + Norm(v) + " ";
  s += ")";
  if (!children) return s;
  if (!n.text.empty()) s += "'" + n.text + "'";
  for (const auto& k : n.kids) s += Canon(*k);
  return s;
}

struct Styles {
  const Node* root;
  std::string of(const std::string& index) const {
    size_t i = index.empty() ? 0 : std::stoul(index);
    const Node* xf = root->first("cellXfs")->all("xf").at(i);
    std::string id = xf->get("numFmtId");
    std::string code(BuiltinNumFmt(id.empty() ? 0 : std::stoi(id)));
    if (const Node* fmts = root->first("numFmts"))
      for (const Node* f : fmts->all("numFmt"))
        if (f->get("numFmtId") == id) code = f->get("formatCode");
    auto pick = [&](const char* list, const char* item, const char* attr) {
      return Canon(*root->first(list)->all(item).at(std::stoul(xf->get(attr).empty() ? "0" : xf->get(attr))));
    };
    return "[fmt=" + code + " " + pick("fonts", "font", "fontId") + pick("fills", "fill", "fillId") +
           pick("borders", "border", "borderId") +
           Canon(*xf, {"numFmtId", "fontId", "fillId", "borderId", "xfId"}) + "]";
  }
};

std::set<std::string> Facts(const Package& pkg) {
  std::set<std::string> facts;
  Styles styles{pkg.at("xl/styles.xml")->first("styleSheet")};
  std::vector<std::string> sst;
  if (pkg.count("xl/sharedStrings.xml"))
    for (const Node* si : pkg.at("xl/sharedStrings.xml")->first("sst")->all("si")) sst.push_back(si->first("t")->text);
  auto rels = [&](const std::string& part) {
    std::map<std::string, std::string> out;
    if (pkg.count(part))
      for (const Node* r : pkg.at(part)->first("Relationships")->all("Relationship"))
        out[r->get("Id")] = r->get("Target") + (r->attr("TargetMode") ? " " + r->get("TargetMode") : "");
    return out;
  };
  for (const auto& [name, root] : pkg) {
    const Node& top = *root->kids.at(0);
    if (name.rfind("docProps/", 0) == 0) continue;  // who wrote it and when: no structure to share
    if (name.find(".rels") != std::string::npos) {
      for (const Node* r : top.all("Relationship"))
        facts.insert(name + ": rel " + r->get("Type") + " -> " + r->get("Target") + " " + r->get("TargetMode"));
    } else if (name == "[Content_Types].xml") {
      for (const auto& k : top.kids) facts.insert(name + ": " + Canon(*k));
    } else if (name.rfind("xl/worksheets/sheet", 0) == 0) {
      auto links = rels("xl/worksheets/_rels/" + name.substr(14) + ".rels");
      for (const auto& k : top.kids) {
        if (k->name == "sheetData") {
          for (const Node* row : k->all("row")) {
            std::string f = name + ": row " + row->get("r") + " " + Canon(*row, {"r", "spans", "s"}, false);
            if (row->attr("s")) f += " style " + styles.of(row->get("s"));
            facts.insert(f);
            for (const Node* c : row->all("c")) {
              std::string t = c->attr("t") ? c->get("t") : "n";
              std::string cell = name + ": cell " + c->get("r") + " t=" + t + " style " + styles.of(c->get("s"));
              if (c->attr("cm")) cell += " cm=" + c->get("cm");
              if (const Node* fm = c->first("f")) cell += " formula " + Canon(*fm);
              if (const Node* v = c->first("v"))
                cell += " value " + (t == "s" ? "'" + sst.at(std::stoul(v->text)) + "'" : Norm(v->text));
              facts.insert(cell);
            }
          }
        } else if (k->name == "cols") {
          for (const Node* col : k->all("col"))
            facts.insert(name + ": col " + Canon(*col, {"style"}) + " style " + styles.of(col->get("style")));
        } else if (k->name == "hyperlinks") {
          // A link's display text is its cell's own text, which the model keeps; no other.
          for (const Node* l : k->all("hyperlink"))
            facts.insert(name + ": link " + Canon(*l, {"r:id", "display"}) +
                         (l->attr("r:id") ? " -> " + links[l->get("r:id")] : ""));
        } else if (k->name == "legacyDrawing") {
          facts.insert(name + ": legacyDrawing -> " + links[k->get("r:id")]);
        } else {
          facts.insert(name + ": " + Canon(*k));
        }
      }
    } else if (name.rfind("xl/comments", 0) == 0) {
      std::vector<std::string> authors;
      for (const Node* a : top.first("authors")->all("author")) authors.push_back(a->text);
      for (const Node* c : top.first("commentList")->all("comment"))
        facts.insert(name + ": comment " + c->get("ref") + " by '" + authors.at(std::stoul(c->get("authorId"))) +
                     "' " + Canon(*c->first("text")));
    } else if (name == "xl/styles.xml" || name == "xl/sharedStrings.xml") {
      // Followed from the cells, rows and columns that use them; the counts say nothing more.
      for (const auto& k : top.kids)
        if (k->name == "cellStyles" || k->name == "dxfs" || k->name == "tableStyles")
          facts.insert(name + ": " + Canon(*k));
    } else if (name == "xl/workbook.xml") {
      for (const auto& k : top.kids) facts.insert(name + ": " + Canon(*k));
    } else {
      facts.insert(name + ": " + Canon(top));  // drawings, theme, metadata
    }
  }
  return facts;
}

// ---------------------------------------------------------------------------

test::SheetBuilder ComparedSheet(std::vector<Style>& styles) {
  auto add = [&](auto change) {
    Style s;
    change(s);
    styles.push_back(s);
    return static_cast<uint32_t>(styles.size() - 1);
  };
  test::SheetBuilder b;
  std::vector<uint32_t> ids = {
      add([](Style& s) { s.numFmt = "0.00%"; }),
      add([](Style& s) { s.numFmt = "#,##0.00\\ \"€\";[Red]-#,##0.00"; }),
      add([](Style& s) { s.numFmt = "yyyy-mm-dd"; }),
      add([](Style& s) {
        s.fontName = "Arial";
        s.fontSize = 14.5;
        s.bold = s.italic = s.strike = true;
        s.underline = Underline::Double;
        s.fontColor = 0x1F4E79;
      }),
      add([](Style& s) { s.underline = Underline::Single; }),
      add([](Style& s) { s.underline = Underline::DoubleAccounting; s.fontColor = 0; }),
      add([](Style& s) { s.pattern = FillPattern::Solid; s.fillFg = 0xFFC000; }),
      add([](Style& s) { s.pattern = FillPattern::DarkGrid; s.fillFg = 0xFF0000; s.fillBg = 0x00FF00; }),
      add([](Style& s) { s.pattern = FillPattern::Gray0625; }),
      add([](Style& s) {
        s.left = {BorderStyle::Thin, 0xFF0000};
        s.right = {BorderStyle::MediumDashDotDot, kAutoColor};
        s.top = {BorderStyle::Double, 0x000000};
        s.bottom = {BorderStyle::SlantDashDot, 0x0070C0};
      }),
      add([](Style& s) { s.diagonal = {BorderStyle::Dashed, 0x00FF00}; s.diagonalUp = true; }),
      add([](Style& s) { s.diagonal = {BorderStyle::Thick, kAutoColor}; s.diagonalUp = s.diagonalDown = true; }),
      add([](Style& s) { s.hAlign = HAlign::Center; s.vAlign = VAlign::Top; s.wrap = true; }),
      add([](Style& s) { s.hAlign = HAlign::Right; s.indent = 3; s.vAlign = VAlign::Center; }),
      add([](Style& s) { s.rotation = 45; }),
      add([](Style& s) { s.rotation = 135; }),
      add([](Style& s) { s.rotation = 255; s.shrink = true; }),
      add([](Style& s) { s.hAlign = HAlign::CenterContinuous; s.vAlign = VAlign::Distributed; }),
      add([](Style& s) { s.hAlign = HAlign::Justify; s.vAlign = VAlign::Justify; }),
      add([](Style& s) { s.locked = false; s.hidden = true; }),
  };
  for (uint32_t i = 0; i < ids.size(); ++i) b.number(i, 0, 1.5 + i, ids[i]);
  b.text(0, 1, "text");
  b.text(1, 1, "text");  // the same string twice
  b.text(2, 1, " spaced ");
  b.text(3, 1, "a<b & \"c\"");
  b.number(4, 1, 0.125);
  b.number(5, 1, -7);
  b.boolean(6, 1, true);
  b.boolean(7, 1, false);
  b.formula(0, 2, "SUM(A1:A3)", CachedKind::Number, 6.5);
  b.formula(1, 2, "B1&\"x\"", CachedKind::String).cachedString = "textx";
  Formula& arr = b.formula(2, 2, "A1:A2*2", CachedKind::Number, 3);
  arr.kind = FormulaKind::Array;
  arr.arrayRange = {2, 2, 3, 2};
  b.number(3, 2, 5);
  Formula& dyn = b.formula(5, 2, "_xlfn.SEQUENCE(2)", CachedKind::Number, 1);
  dyn.kind = FormulaKind::DynamicArray;
  dyn.arrayRange = {5, 2, 6, 2};
  b.number(6, 2, 2);
  b.text(10, 3, "merged");
  b.text(12, 3, "link out");
  b.text(13, 3, "link in");
  return b;
}

TEST(XlsxStructure, PartsElementsAndAttributesAgreeWithLibxlsxwriter) {
  std::vector<Style> styles{Style{}};
  test::SheetBuilder b = ComparedSheet(styles);
  SheetData d = b.done();
  d.merges = {{10, 3, 11, 5}};
  Hyperlink out;
  out.row = 12;
  out.col = 3;
  out.target = "https://example.com/a?b=c";
  out.tooltip = "Example";
  Hyperlink in;
  in.row = 13;
  in.col = 3;
  in.location = "Data!A1";
  d.links = {out, in};
  d.comments = {{14, 0, "Ann", "a note"}, {15, 1, "Bob", "two\nlines"}};
  d.rowInfo = {{20, 30, true, true, 4}, {21, 24.75, false, false, 0}};
  d.colInfo = {{7, 8, 20.7109375, false, true, 7}, {10, 10, 5.7109375, true, false, 0}};
  test::SheetBuilder plain;
  plain.number(0, 0, 1);
  SheetData second = plain.done();
  const std::vector<SheetToSave> sheets = {{"Data", &d, &styles}, {"Second", &second, &styles}};

  test::TempDir dir;
  std::string ours = (dir / "ours.xlsx").string(), ref = (dir / "ref.xlsx").string();
  SaveXlsx(ours, sheets);
  {
    test::LxwReference lxw(ref);
    for (const SheetToSave& s : sheets) lxw.addSheet(s);
    lxw.close();
  }
  Package a = Load(ours), r = Load(ref);

  // The same parts, but for the document properties' extras.
  std::set<std::string> ourParts, refParts;
  for (const auto& [n, _] : a) ourParts.insert(n);
  for (const auto& [n, _] : r) refParts.insert(n);
  EXPECT_EQ(ourParts, refParts);

  for (const auto& [name, root] : a) {
    if (!r.count(name)) continue;
    SCOPED_TRACE(name);
    Precedence ourOrder, refOrder;
    std::map<std::string, std::set<std::string>> ourNames, refNames;
    Orders(*root, "", ourOrder, ourNames);
    Orders(*r.at(name), "", refOrder, refNames);
    for (const auto& [path, pairs] : ourOrder)
      for (const auto& [x, y] : pairs)
        EXPECT_FALSE(refOrder[path].count({y, x}) && !refOrder[path].count({x, y}))
            << "under " << path << ", " << x << " comes before " << y << "; the reference has them the other way";
    for (const auto& [path, kids] : ourNames)
      for (const std::string& k : kids)
        EXPECT_TRUE(refNames[path].count(k)) << "under " << path << ", " << k << " is unknown to the reference";
  }

  // Differences with a reason: libxlsxwriter writes these and we do not, or the other way.
  const std::vector<std::pair<std::regex, const char*>> allowed = {
      {std::regex("xl/workbook.xml: fileVersion\\(.*"), "libxlsxwriter names the application build that wrote it, a hint only"},
  };
  std::set<std::string> ourFacts = Facts(a), refFacts = Facts(r);
  auto report = [&](const std::set<std::string>& from, const std::set<std::string>& other, const char* who) {
    for (const std::string& f : from) {
      if (other.count(f)) continue;
      bool excused = false;
      for (const auto& [re, why] : allowed) excused |= std::regex_match(f, re);
      EXPECT_TRUE(excused) << "only " << who << ": " << f;
    }
  };
  report(ourFacts, refFacts, "ours");
  report(refFacts, ourFacts, "libxlsxwriter's");
}

}  // namespace
}  // namespace corvane
