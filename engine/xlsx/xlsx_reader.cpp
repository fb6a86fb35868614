#include "engine/xlsx/xlsx_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "engine/containers/fast_xml.h"
#include "engine/containers/opc_package.h"
#include "engine/containers/xml_reader.h"
#include "engine/containers/zip_package.h"
#include "engine/core/cellref.h"
#include "engine/core/error.h"
#include "engine/core/formula_services.h"
#include "engine/core/iso_date.h"
#include "engine/core/sheet_builder.h"
#include "engine/core/number_text.h"
#include "engine/core/unicode.h"
#include "engine/xlsx/styles_reader.h"

namespace corvane {

namespace {

// An index or a count as an attribute or a value writes it: white space, an optional
// sign, digits; 0 when there are none, the nearest end of the range when they run past it.
int64_t ReadInteger(const char* s) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r') ++s;
  bool negative = *s == '-';
  if (*s == '+' || *s == '-') ++s;
  const char* e = s;
  while (*e >= '0' && *e <= '9') ++e;
  uint64_t v = 0;
  if (std::from_chars(s, e, v).ec == std::errc::result_out_of_range || v > uint64_t{INT64_MAX})
    return negative ? INT64_MIN : INT64_MAX;
  return negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
}

// "1"/"true" as the file's booleans are written.
bool Flag(const char* v) { return !std::strcmp(v, "1") || !std::strcmp(v, "true"); }

// ---------------------------------------------------------------------------
// workbook.xml

struct WorkbookSheet {
  std::string name, relId;
  SheetVisibility visibility = SheetVisibility::Visible;
};

class WorkbookHandler : public XmlHandler {
 public:
  std::vector<WorkbookSheet> sheets;
  bool date1904 = false;
  void start(std::string_view name, const char** a) override {
    if (name == "sheet") {
      WorkbookSheet s;
      if (const char* v = Attr(a, "name")) s.name = v;
      if (const char* v = Attr(a, "id")) s.relId = v;
      if (const char* v = Attr(a, "state")) {
        if (!std::strcmp(v, "hidden")) s.visibility = SheetVisibility::Hidden;
        if (!std::strcmp(v, "veryHidden")) s.visibility = SheetVisibility::VeryHidden;
      }
      sheets.push_back(std::move(s));
    } else if (name == "workbookPr") {
      if (const char* v = Attr(a, "date1904")) date1904 = Flag(v);
    }
  }
};

// ---------------------------------------------------------------------------
// sharedStrings.xml

class SharedStringsHandler : public XmlHandler {
 public:
  explicit SharedStringsHandler(StringPool& pool) : pool_(pool) {}
  void start(std::string_view name, const char** a) override {
    if (name == "si") {
      buf_.clear();
      inSi_ = true;
    } else if (name == "rPh") {
      ++skip_;
    } else if (name == "t" && inSi_ && skip_ == 0) {
      inT_ = true;
    }
  }
  void end(std::string_view name) override {
    if (name == "si") {
      DecodeOoxmlEscapes(buf_);
      pool_.add(buf_);
      inSi_ = false;
    } else if (name == "rPh") {
      --skip_;
    } else if (name == "t") {
      inT_ = false;
    }
  }
  void text(std::string_view s) override {
    if (inT_) buf_.append(s);
  }

 private:
  StringPool& pool_;
  std::string buf_;
  bool inSi_ = false, inT_ = false;
  int skip_ = 0;
};

// ---------------------------------------------------------------------------
// comments

class CommentsHandler : public XmlHandler {
 public:
  std::vector<std::string> authors;
  std::vector<Comment> comments;
  std::string what;
  void start(std::string_view name, const char** a) override {
    if (name == "author") {
      inAuthor_ = true;
      buf_.clear();
    } else if (name == "comment") {
      Comment c;
      const char* ref = Attr(a, "ref");
      Rect r;
      if (!ref || !ParseRange(ref, r)) return;
      c.row = r.r1;
      c.col = r.c1;
      if (const char* id = Attr(a, "authorId")) {
        int64_t i = ReadInteger(id);
        if (i >= 0 && static_cast<uint64_t>(i) < authors.size()) c.author = authors[static_cast<size_t>(i)];
      }
      comments.push_back(std::move(c));
      inComment_ = true;
      buf_.clear();
    } else if (name == "rPh") {
      ++skip_;
    } else if (name == "t" && (inComment_ || inAuthor_) && skip_ == 0) {
      inT_ = true;
    }
  }
  void end(std::string_view name) override {
    if (name == "author") {
      DecodeOoxmlEscapes(buf_);
      authors.push_back(buf_);
      inAuthor_ = false;
    } else if (name == "comment" && inComment_) {
      DecodeOoxmlEscapes(buf_);
      comments.back().text = buf_;
      inComment_ = false;
    } else if (name == "t") {
      inT_ = false;
    } else if (name == "rPh") {
      --skip_;
    }
  }
  void text(std::string_view s) override {
    if (inT_ || inAuthor_) buf_.append(s);
  }

 private:
  std::string buf_;
  bool inAuthor_ = false, inComment_ = false, inT_ = false;
  int skip_ = 0;
};

// ---------------------------------------------------------------------------
// worksheet XML: the hot path

struct SharedMaster {
  std::string text;
  int32_t row, col;
};

struct PendingLink {
  Rect ref;
  std::string relId, location, tooltip, display;
};

// Parses "B12" without allocating. Row and column come back 0-based.
bool ParseCellRef(const char* s, int32_t& row, int32_t& col) {
  int32_t c = 0;
  const char* p = s;
  while (*p == '$') ++p;
  int letters = 0;
  for (; (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'); ++p) {
    if (++letters > 3) return false;
    c = c * 26 + ((*p | 0x20) - 'a' + 1);
  }
  if (*p == '$') ++p;
  int32_t r = 0;
  int digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (++digits > 7) return false;
    r = r * 10 + (*p - '0');
  }
  if (*p != 0 || letters == 0 || digits == 0) return false;
  if (r < 1 || r > kMaxRows || c < 1 || c > kMaxCols) return false;
  row = r - 1;
  col = c - 1;
  return true;
}

// LocalName for the attributes on the hot path: one pass, no strlen.
inline std::string_view AttrName(const char* name) {
  const char* local = name;
  const char* p = name;
  for (; *p; ++p)
    if (*p == ':') local = p + 1;
  return std::string_view(local, static_cast<size_t>(p - local));
}

// ReadInteger for a plain string of up to nine digits, the way nearly every index is
// written; false for anything else, which ReadInteger then reads.
inline bool PlainNumber(const char* s, unsigned long& out) {
  unsigned long v = 0;
  int digits = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    if (++digits > 9) return false;
    v = v * 10 + static_cast<unsigned long>(*s - '0');
  }
  if (*s || digits == 0) return false;
  out = v;
  return true;
}

class SheetHandler : public XmlHandler {
 public:
  SheetHandler(SheetData& sheet, const StringPool* sst, uint32_t styleCount, bool date1904, std::string what,
               const FormulaServices& formulas)
      : sheet_(sheet), sst_(sst), styleCount_(styleCount), date1904_(date1904), what_(std::move(what)),
        formulas_(formulas) {}

  std::vector<PendingLink> links;
  // The most cells the part can hold, at 4 bytes a cell (<c/>): the stored dimension makes
  // room for no more, so a few bytes claiming a full sheet reserve nothing much.
  uint64_t cellRoom = UINT64_MAX;

  void start(std::string_view name, const char** a) override {
    switch (name.size()) {
      case 1:
        if (name[0] == 'c' && inData_) return startCell(a);
        if (name[0] == 'v' && inCell_) { collect_ = &val_; val_.clear(); return; }
        if (name[0] == 'f' && inCell_) return startFormula(a);
        if (name[0] == 't' && inIs_ && skip_ == 0) { collect_ = &str_; return; }
        return;
      case 2:
        if (name == "is" && inCell_) { inIs_ = true; str_.clear(); hasIs_ = true; }
        return;
      case 3:
        if (name == "row" && inData_) return startRow(a);
        if (name == "col" && !inData_) return startCol(a);
        if (name == "rPh") ++skip_;
        return;
      default:
        if (name == "sheetData") inData_ = true;
        else if (name == "dimension") startDimension(a);
        else if (name == "sheetFormatPr") startFormatPr(a);
        else if (name == "mergeCell") startMerge(a);
        else if (name == "hyperlink") startLink(a);
        return;
    }
  }

  void end(std::string_view name) override {
    if (name.size() == 1) {
      if (name[0] == 'c' && inCell_) endCell();
      else if (name[0] == 'v' || name[0] == 'f' || name[0] == 't') collect_ = nullptr;
    } else if (name == "is") {
      inIs_ = false;
    } else if (name == "rPh") {
      --skip_;
    } else if (name == "sheetData") {
      inData_ = false;
    }
  }

  void text(std::string_view s) override {
    if (collect_) collect_->append(s);
  }

 private:
  [[noreturn]] void damaged(const std::string& why) { throw AutomationError(what_ + " is damaged: " + why + "."); }

  // The stored dimension is no measure of the used range, but it is a fair guess of
  // how many cells follow: making room for them at once spares growing the cell array
  // step by step, and the copy that trims it afterwards.
  void startDimension(const char** a) {
    const char* ref = Attr(a, "ref");
    Rect r;
    if (ref && ParseRange(ref, r))
      b_.reserve(std::min(static_cast<uint64_t>(r.rows()) * static_cast<uint64_t>(r.cols()), cellRoom));
  }

  void startFormatPr(const char** a) {
    if (const char* v = Attr(a, "defaultRowHeight")) ParseNumberText(v, defaultHeight_);
  }

  // A run of columns: its width, format and visibility.
  void startCol(const char** a) {
    ColInfo c;
    long first = 0, last = 0;
    for (const char** p = a; *p; p += 2) {
      std::string_view k = AttrName(p[0]);
      if (k == "min") first = ReadInteger(p[1]);
      else if (k == "max") last = ReadInteger(p[1]);
      else if (k == "width") ParseNumberText(p[1], c.width);
      else if (k == "hidden") c.hidden = Flag(p[1]);
      else if (k == "style") {
        int64_t st = ReadInteger(p[1]);
        c.style = st >= 0 && static_cast<uint64_t>(st) < styleCount_ ? static_cast<uint32_t>(st) : 0;
      }
    }
    if (first < 1 || last < first || first > kMaxCols) return;
    c.first = static_cast<int32_t>(first - 1);
    c.last = static_cast<int32_t>(std::min<long>(last, kMaxCols) - 1);
    c.hasStyle = c.style != 0;
    if (c.width < 0) c.width = -1;
    sheet_.colInfo.push_back(c);
  }

  void startRow(const char** a) {
    const char* r = nullptr;
    RowInfo info;
    bool customFormat = false, customHeight = false;
    double height = -1;
    uint32_t style = 0;
    for (const char** p = a; *p; p += 2) {
      std::string_view k = AttrName(p[0]);
      if (k == "r") r = p[1];
      else if (k == "s") {
        int64_t st = ReadInteger(p[1]);
        style = st >= 0 && static_cast<uint64_t>(st) < styleCount_ ? static_cast<uint32_t>(st) : 0;
      } else if (k == "customFormat") customFormat = Flag(p[1]);
      else if (k == "ht") ParseNumberText(p[1], height);
      else if (k == "customHeight") customHeight = Flag(p[1]);
      else if (k == "hidden") info.hidden = Flag(p[1]);
    }
    if (r) {
      unsigned long plain;
      int64_t v = PlainNumber(r, plain) ? static_cast<int64_t>(plain) : ReadInteger(r);
      if (v < 1 || v > kMaxRows) damaged(std::string("row number ") + r + " is outside the sheet");
      row_ = static_cast<int32_t>(v - 1);
    } else {
      ++row_;
      if (row_ >= kMaxRows) damaged("it has more rows than a sheet can hold");
    }
    col_ = -1;
    // A row's s counts only with customFormat; its height when set by hand or unlike the
    // sheet's default (an automatic height follows the row's content).
    rowFormatted_ = customFormat;
    info.row = row_;
    info.hasStyle = customFormat;
    info.style = customFormat ? style : 0;
    if (height >= 0 && (customHeight || (defaultHeight_ >= 0 && height != defaultHeight_))) info.height = height;
    if (info.hasStyle || info.hidden || info.height >= 0) sheet_.rowInfo.push_back(info);
  }

  void startCell(const char** a) {
    inCell_ = true;
    hasIs_ = hasFormula_ = dynamic_ = false;
    val_.clear();
    type_ = 'n';
    style_ = 0;
    for (const char** p = a; *p; p += 2) {
      std::string_view k = AttrName(p[0]);
      const char* v = p[1];
      char k0 = k.empty() ? 0 : k[0];
      if (k.size() == 1 && k0 == 'r') {
        int32_t r, c;
        if (!ParseCellRef(v, r, c)) damaged(std::string("the cell reference \"") + v + "\" is not a cell of a sheet");
        row_ = r;
        col_ = c - 1;  // advanced below
      } else if (k.size() == 1 && k0 == 's') {
        unsigned long plain;
        int64_t s = PlainNumber(v, plain) ? static_cast<int64_t>(plain) : ReadInteger(v);
        style_ = s >= 0 && s < int64_t{styleCount_} ? static_cast<uint32_t>(s) : 0;
      } else if (k.size() == 1 && k0 == 't') {
        type_ = v[0] == 's' ? (v[1] == 't' ? 'f' : 's') : v[0] == 'i' ? 'i' : v[0];
      } else if (k == "cm") {
        dynamic_ = true;
      }
    }
    if (row_ < 0) row_ = 0;
    ++col_;
    if (col_ >= kMaxCols) damaged("a row has more cells than a sheet can hold");
  }

  void startFormula(const char** a) {
    hasFormula_ = true;
    fType_ = 'n';
    fRef_.clear();
    fSi_ = -1;
    for (const char** p = a; *p; p += 2) {
      std::string_view k = AttrName(p[0]);
      if (k == "t") fType_ = p[1][0];  // normal, shared, array, dataTable
      else if (k == "ref") fRef_ = p[1];
      else if (k == "si") fSi_ = std::clamp<int64_t>(ReadInteger(p[1]), -1, INT32_MAX);
    }
    form_.clear();
    collect_ = &form_;
  }

  void startMerge(const char** a) {
    const char* ref = Attr(a, "ref");
    Rect r;
    if (ref && ParseRange(ref, r) && (r.rows() > 1 || r.cols() > 1)) sheet_.merges.push_back(r);
  }

  void startLink(const char** a) {
    PendingLink l;
    const char* ref = Attr(a, "ref");
    if (!ref || !ParseRange(ref, l.ref)) return;
    if (const char* v = Attr(a, "id")) l.relId = v;
    if (const char* v = Attr(a, "location")) l.location = v;
    if (const char* v = Attr(a, "tooltip")) l.tooltip = v;
    if (const char* v = Attr(a, "display")) l.display = v;
    links.push_back(std::move(l));
  }

  void endCell() {
    inCell_ = false;
    collect_ = nullptr;

    // The value first, as it stands on its own or as a formula's cached result.
    CachedResult r;
    uint32_t shared = UINT32_MAX;  // the value is this shared string
    switch (type_) {
      case 's': {
        if (val_.empty()) break;
        int64_t i = ReadInteger(val_.c_str());
        if (!sst_ || i < 0 || static_cast<uint64_t>(i) >= sst_->size())
          damaged("cell " + FormatA1(row_, col_) + " refers to a shared string that does not exist");
        shared = static_cast<uint32_t>(i);
        r = {CachedKind::String, 0, ErrorCode::NA, sst_->get(shared)};
        break;
      }
      case 'i':
        if (!hasIs_) break;
        DecodeOoxmlEscapes(str_);
        r = {CachedKind::String, 0, ErrorCode::NA, str_};
        break;
      case 'f':  // t="str"
        if (!hasFormula_ && val_.empty()) break;
        DecodeOoxmlEscapes(val_);
        r = {CachedKind::String, 0, ErrorCode::NA, val_};
        break;
      case 'b':
        if (val_.empty()) break;
        r = {CachedKind::Bool, (val_ == "1" || val_ == "true") ? 1.0 : 0.0, ErrorCode::NA, {}};
        break;
      case 'e':
        if (val_.empty()) break;
        r = {CachedKind::Error, 0, ParseError(val_), {}};
        break;
      case 'd':
        if (val_.empty()) break;
        r.kind = CachedKind::Number;
        // A date the spreadsheet cannot hold as a number (or no date at all): its text, as
        // the spreadsheet keeps it, rather than the loss of the sheet.
        if (!IsoDateToSerial(val_, date1904_, r.number)) r = {CachedKind::String, 0, ErrorCode::NA, val_};
        break;
      default:
        if (val_.empty()) break;
        r.kind = CachedKind::Number;
        if (!ParseNumberText(val_, r.number))
          damaged("cell " + FormatA1(row_, col_) + " is a number cell holding \"" + val_ + "\"");
        break;
    }

    if (hasFormula_ && fType_ != 'd') {
      std::string text;
      FormulaKind kind = FormulaKind::Normal;
      Rect arrayRange;
      if (fType_ == 's') {
        if (!form_.empty()) {
          if (fSi_ >= 0) shared_[fSi_] = SharedMaster{form_, row_, col_};
          text = form_;
        } else {
          auto it = shared_.find(fSi_);
          if (it != shared_.end())
            text = formulas_.Shift(it->second.text, row_ - it->second.row, col_ - it->second.col).text;
        }
      } else {
        text = form_;
        if (fType_ == 'a') {
          kind = dynamic_ ? FormulaKind::DynamicArray : FormulaKind::Array;
          if (fRef_.empty() || !ParseRange(fRef_, arrayRange)) arrayRange = Rect{row_, col_, row_, col_};
        }
      }
      if (!text.empty()) {
        Formula f;
        f.text = std::move(text);
        // Text the spreadsheet would not take (a function it does not know, a call with too
        // many arguments) is kept as its result, as the spreadsheet keeps it on repair.
        f.valueOnly = !formulas_.SyntaxProblem(f.text, true).empty();
        f.kind = kind;
        f.arrayRange = arrayRange;
        b_.add(b_.formula(std::move(f), r), row_, col_, style_);
        return;
      }
    }
    if (shared != UINT32_MAX) {
      b_.add(Cell::SharedStringValue(shared), row_, col_, style_);
      return;
    }
    Cell v = b_.value(r);
    // A blank of the default format matters only against its row's or column's format.
    if (v.type == CellType::Blank && !rowFormatted_ && !b_.blankMatters(row_, col_, style_)) return;
    b_.add(v, row_, col_, style_);
  }

  SheetData& sheet_;
  SheetBuilder b_{sheet_};
  const StringPool* sst_;
  uint32_t styleCount_;
  bool date1904_;
  std::string what_;
  const FormulaServices& formulas_;

  bool inData_ = false, inCell_ = false, inIs_ = false, hasIs_ = false, hasFormula_ = false, dynamic_ = false;
  bool rowFormatted_ = false;  // the current row has a format of its own
  double defaultHeight_ = -1;  // the sheet's row height in points, below 0 when not given
  int skip_ = 0;
  int32_t row_ = -1, col_ = -1;
  char type_ = 'n', fType_ = 'n';
  uint32_t style_ = 0;
  long fSi_ = -1;
  std::string* collect_ = nullptr;
  std::string val_, str_, form_, fRef_;
  std::unordered_map<long, SharedMaster> shared_;
};

// ---------------------------------------------------------------------------

class XlsxReader : public WorkbookReader {
 public:
  XlsxReader(std::unique_ptr<ZipPackage> pkg, const std::string& shown, const FormulaServices& formulas)
      : pkg_(std::move(pkg)), shown_(shown), formulas_(formulas) {
    workbookPart_ = MainDocumentPart(*pkg_, shown_);
    if (workbookPart_.empty())
      throw AutomationError(Quoted(shown_) + " is not a workbook: it holds no spreadsheet document.");
    if (!pkg_->has(workbookPart_)) {
      throw AutomationError(Quoted(shown_) + " is damaged: its workbook part " + workbookPart_ + " is missing.");
    }

    WorkbookHandler wb;
    parse(workbookPart_, wb);
    // A Word or PowerPoint package names its main part differently; a workbook has <sheets>.
    date1904_ = wb.date1904;

    std::vector<Relationship> wbRels = ReadRelationships(*pkg_, workbookPart_, shown_);
    std::string dir = DirOf(workbookPart_);
    WorkbookLinks links = FindWorkbookLinks(wbRels, dir);
    stylesPart_ = links.styles;
    sstPart_ = links.sharedStrings;
    themePart_ = links.theme;
    for (auto& s : wb.sheets) {
      SheetInfo info;
      info.name = s.name;
      info.visibility = s.visibility;
      std::string part;
      if (!ResolveSheet(wbRels, dir, s.relId, info.kind, part)) continue;
      sheets_.push_back(std::move(info));
      parts_.push_back(std::move(part));
    }
  }

  const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  std::shared_ptr<const StyleTable> styles() override {
    if (!styles_) {
      auto t = std::make_shared<StyleTable>();
      std::string stylesXml = stylesPart_.empty() || !pkg_->has(stylesPart_) ? "" : pkg_->read(stylesPart_, 64u << 20);
      std::string themeXml = themePart_.empty() || !pkg_->has(themePart_) ? "" : pkg_->read(themePart_, 16u << 20);
      t->styles = ReadStyles(stylesXml, themeXml, PartOf(shown_, stylesPart_), PartOf(shown_, themePart_));
      t->date1904 = date1904_;
      styles_ = t;
    }
    return styles_;
  }

  std::shared_ptr<SheetData> loadSheet(size_t index) override {
    const SheetInfo& info = sheets_.at(index);
    const std::string& part = parts_[index];
    std::string what = SheetOf(shown_, info.name, part);
    if (part.empty() || !pkg_->has(part))
      throw AutomationError(Quoted(shown_) + " is damaged: the cells of sheet " + Quoted(info.name) + " are missing.");
    auto st = styles();
    loadSharedStrings();

    auto sheet = std::make_shared<SheetData>();
    sheet->shared = sst_;
    SheetHandler h(*sheet, sst_.get(), static_cast<uint32_t>(st->styles.size()), date1904_, what, formulas_);
    h.cellRoom = pkg_->size(part) / 4;
    FastXmlParser parser(h, what);
    pkg_->stream(part, [&](const char* p, size_t n) { parser.feed(p, n); });
    parser.finish();

    // Links and comments live in parts the sheet's relationships name.
    std::vector<Relationship> rels = ReadRelationships(*pkg_, part, shown_);
    for (auto& l : h.links) {
      Hyperlink link;
      link.row = l.ref.r1;
      link.col = l.ref.c1;
      link.rows = l.ref.rows();
      link.cols = l.ref.cols();
      link.location = l.location;
      link.tooltip = l.tooltip;
      link.display = l.display;
      for (auto& r : rels)
        if (!l.relId.empty() && r.id == l.relId) link.target = r.target;
      // A link that leads nowhere still shows its tip and text: kept too.
      if (!link.target.empty() || !link.location.empty() || !link.tooltip.empty() || !link.display.empty())
        sheet->links.push_back(std::move(link));
    }
    for (auto& r : rels) {
      if (r.external || !EndsWith(r.type, "/comments")) continue;
      std::string cpart = ResolvePart(DirOf(part), r.target);
      if (!pkg_->has(cpart)) continue;
      CommentsHandler ch;
      parse(cpart, ch);
      for (auto& c : ch.comments) sheet->comments.push_back(std::move(c));
    }

    sheet->finishLoading();
    return sheet;
  }

 private:
  void parse(const std::string& part, XmlHandler& h) {
    std::string what = PartOf(shown_, part);
    XmlParser parser(h, what);
    pkg_->stream(part, [&](const char* p, size_t n) { parser.feed(p, n); });
    parser.finish();
  }

  void loadSharedStrings() {
    if (sst_) return;
    auto pool = std::make_shared<StringPool>();
    if (!sstPart_.empty() && pkg_->has(sstPart_)) {
      SharedStringsHandler h(*pool);
      parse(sstPart_, h);
    }
    sst_ = pool;
  }

  std::unique_ptr<ZipPackage> pkg_;
  std::string shown_;
  const FormulaServices& formulas_;
  std::string workbookPart_, stylesPart_, sstPart_, themePart_;
  bool date1904_ = false;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> parts_;
  std::shared_ptr<const StringPool> sst_;
  std::shared_ptr<const StyleTable> styles_;
};

}  // namespace

std::unique_ptr<WorkbookReader> OpenXlsx(std::unique_ptr<ZipPackage> package, const std::string& shownName,
                                         const FormulaServices& formulas) {
  return std::make_unique<XlsxReader>(std::move(package), shownName, formulas);
}

void DecodeOoxmlEscapes(std::string& s) {
  if (s.find("_x") == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  // Each escape is one UTF-16 code unit: a character beyond the BMP takes two in a row.
  Utf16Decoder decoder;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && s[i + 6] == '_') {
      unsigned v = 0;
      auto r = std::from_chars(s.data() + i + 2, s.data() + i + 6, v, 16);
      if (r.ec == std::errc() && r.ptr == s.data() + i + 6) {
        decoder.put(out, v);
        i += 7;
        continue;
      }
    }
    decoder.finish(out);
    out += s[i++];
  }
  decoder.finish(out);
  s.swap(out);
}

}  // namespace corvane
