#include "engine/ods/ods_reader.h"

#include <cstring>
#include <functional>
#include <optional>

#include "engine/containers/fast_xml.h"
#include "engine/containers/xml_reader.h"
#include "engine/containers/zip_package.h"
#include "engine/core/error.h"
#include "engine/core/formula_services.h"
#include "engine/ods/ods_scanner.h"
#include "engine/ods/ods_sheet.h"
#include "engine/ods/ods_styles.h"

namespace corvane {

namespace {

using ods::HasPrefix;
using ods::Local;
using ods::Prefixes;
using ods::StopParsing;
using ods::TableList;
using ods::TableScanner;

// Forwards the style parts of a document to the style sheet.
class StylePartHandler : public XmlHandler {
 public:
  explicit StylePartHandler(OdsStyleSheet& sheet) : sheet_(sheet) {}
  void start(std::string_view name, const char** a) override {
    ++depth_;
    if (inside_) return sheet_.start(name, a);
    if (depth_ == 2 && (name == "font-face-decls" || name == "styles" || name == "automatic-styles")) inside_ = depth_;
  }
  void end(std::string_view name) override {
    if (inside_ && depth_ > inside_) sheet_.end(name);
    else if (inside_ == depth_) inside_ = 0;
    --depth_;
  }
  void text(std::string_view s) override {
    if (inside_) sheet_.text(s);
  }

 private:
  OdsStyleSheet& sheet_;
  int depth_ = 0, inside_ = 0;
};

// content.xml up to the first cell that matters: the styles, the null date and the tables' names.
class ListHandler : public XmlHandler, public TableList {
 public:
  // `styles` may be null: the head is then only read for its prefixes.
  explicit ListHandler(OdsStyleSheet* styles) : styles_(styles) {}

  void start(std::string_view name, const char** a) override {
    ++depth_;
    if (stylesAt_) {
      if (styles_) styles_->start(name, a);
      return;
    }
    if (depth_ == 1) return prefixes_.read(a);
    if (depth_ == 2 && (name == "font-face-decls" || name == "automatic-styles")) {
      stylesAt_ = depth_;
    } else if (name == "spreadsheet" && depth_ == 3) {
      sheetAt_ = depth_;
    } else if (sheetAt_ && depth_ == sheetAt_ + 1 && name == "table") {
      Table t;
      for (const char** p = a; *p; p += 2) {
        size_t at;
        std::string_view k = Local(p[0], at);
        if (!HasPrefix(p[0], at, prefixes_.table)) continue;
        if (k == "name") t.name = p[1];
        else if (k == "style-name") t.style = p[1];
      }
      tables.push_back(std::move(t));
    } else if (sheetAt_ && name == "null-date" && depth_ <= sheetAt_ + 2) {
      if (const char* v = Attr(a, "date-value")) nullDate = v;
    }
  }
  void end(std::string_view name) override {
    if (stylesAt_ && depth_ > stylesAt_) {
      if (styles_) styles_->end(name);
    } else if (stylesAt_ == depth_) {
      stylesAt_ = 0;
    }
    if (sheetAt_ == depth_) throw StopParsing{};  // nothing after the tables matters here
    --depth_;
  }
  void text(std::string_view s) override {
    if (stylesAt_ && styles_) styles_->text(s);
  }

  // True once office:spreadsheet has begun: what follows is tables, read by TableScanner.
  bool inSpreadsheet() const { return sheetAt_ != 0; }
  const Prefixes& prefixes() const { return prefixes_; }

 private:
  OdsStyleSheet* styles_;
  Prefixes prefixes_;
  int depth_ = 0, stylesAt_ = 0, sheetAt_ = 0;
};

class EncryptionHandler : public XmlHandler {
 public:
  bool encrypted = false;
  void start(std::string_view name, const char**) override {
    if (name == "encryption-data") encrypted = true;
  }
};

class OdsReader : public WorkbookReader {
 public:
  OdsReader(std::unique_ptr<ZipPackage> pkg, const std::string& shown, const FormulaServices& formulas)
      : pkg_(std::move(pkg)), shown_(shown), formulas_(formulas) {
    if (pkg_->has("META-INF/manifest.xml")) {
      EncryptionHandler h;
      parse("META-INF/manifest.xml", h);
      if (h.encrypted)
        throw AutomationError(Quoted(shown_) +
                              " is password-protected. Open it in your spreadsheet program, remove the password, and try again.");
    }
    if (!pkg_->has("content.xml"))
      throw AutomationError(Quoted(shown_) + " is damaged: its part content.xml, which holds the sheets, is missing.");

    ListHandler list(&styleSheet_);
    listTables(list);
    styleSheet_.finishDocument();
    date1904_ = list.nullDate.rfind("1904-01-01", 0) == 0;
    for (auto& t : list.tables) {
      SheetInfo info;
      info.name = t.name.empty() ? "Sheet" + std::to_string(sheets_.size() + 1) : t.name;
      info.visibility = styleSheet_.tableHidden(t.style) ? SheetVisibility::Hidden : SheetVisibility::Visible;
      sheets_.push_back(std::move(info));
    }
  }

  const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  std::shared_ptr<const StyleTable> styles() override {
    if (!styles_) {
      if (pkg_->has("styles.xml")) {
        StylePartHandler h(styleSheet_);
        parse("styles.xml", h);
        styleSheet_.finishDocument();
      }
      auto t = std::make_shared<StyleTable>();
      styleSheet_.resolve(*t);
      t->date1904 = date1904_;
      styles_ = t;
    }
    return styles_;
  }

  std::shared_ptr<SheetData> loadSheet(size_t index) override {
    const SheetInfo& info = sheets_.at(index);
    styles();
    auto sheet = std::make_shared<SheetData>();
    std::string what = SheetOf(shown_, info.name, "content.xml");
    auto h = ods::MakeSheetHandler(*sheet, styleSheet_, date1904_, 0, what, formulas_);
    readTable(index, *h, what);
    if (!h->found())
      throw AutomationError(Quoted(shown_) + " is damaged: the cells of sheet " + Quoted(info.name) + " are missing.");
    sheet->finishLoading();
    return sheet;
  }

 private:
  void parse(const std::string& part, XmlHandler& h) {
    XmlParser parser(h, PartOf(shown_, part));
    pkg_->stream(part, [&](const char* p, size_t n) { parser.feed(p, n); });
    parser.finish();
  }

  // The head of content.xml (its styles) goes through the tokenizer, up to office:spreadsheet;
  // the tables after it through TableScanner. The head is fed up to one '<' at a time, so
  // that the switch happens right after the tag that starts the spreadsheet.
  void scanTables(ListHandler& list) {
    std::string what = PartOf(shown_, "content.xml");
    FastXmlParser parser(list, what);
    std::unique_ptr<TableScanner> scanner;
    pkg_->stream("content.xml", [&](const char* p, size_t n) {
      const char* e = p + n;
      while (!scanner && p < e) {
        const char* lt = static_cast<const char*>(std::memchr(p + 1, '<', static_cast<size_t>(e - p - 1)));
        if (!lt) lt = e;
        parser.feed(p, static_cast<size_t>(lt - p));
        p = lt;
        if (list.inSpreadsheet()) scanner = std::make_unique<TableScanner>(list.prefixes(), &list, what);
      }
      if (scanner && p < e) scanner->feed(p, static_cast<size_t>(e - p));
    });
    if (!scanner) parser.finish();
  }

  // Reads table `index` of content.xml into `h`. Earlier tables are skipped unread: the
  // tokenizer starts at this table, under stand-ins for the elements around it. Where the
  // table ends, the reading stops and is kept, so that a later table goes on from there
  // instead of from the start of the part (a merge reads the sheets in order).
  void readTable(size_t index, ods::SheetHandler& h, const std::string& what) {
    std::unique_ptr<ZipPackage::Reader> in;
    std::string pending;
    size_t passed = 0;
    Prefixes px;
    bool resumed = resume_ && index >= resume_->nextTable;
    if (resumed) {
      in = std::move(resume_->reader);
      pending = std::move(resume_->leftover);
      passed = resume_->nextTable;
      px = resume_->prefixes;
    } else {
      in = pkg_->open("content.xml");
    }
    resume_.reset();

    ListHandler head(nullptr);
    FastXmlParser headParser(head, what);
    FastXmlParser parser(h, what);
    bool done = false;
    std::string leftover;
    // The table's bytes go to the tokenizer in pieces that end where a table may close, so
    // that when it has, the bytes after it are known exactly.
    auto sink = [&](const char* p, size_t n) {
      if (done) {
        leftover.append(p, n);
        return;
      }
      if (!h.started()) {
        std::string wrap = "<" + px.office + ":document-content><" + px.office + ":body><" + px.office + ":spreadsheet>";
        h.usePrefixes(px);
        parser.feed(wrap.data(), wrap.size());
      }
      const std::string close = "</" + px.table + ":table";
      const char* e = p + n;
      const char* pieceEnd = p;
      auto nextLt = [&](const char* from) {
        const char* lt = from < e ? static_cast<const char*>(std::memchr(from, '<', static_cast<size_t>(e - from))) : nullptr;
        return lt ? lt : e;
      };
      auto piece = [&](const char* a, const char* b) {
        pieceEnd = b;
        parser.feed(a, static_cast<size_t>(b - a));
      };
      try {
        // First the end of a tag the previous piece cut, then up to each close of a table
        // and from there to the next tag.
        const char* q = nextLt(p);
        piece(p, q);
        while (q < e) {
          const char* c = static_cast<const char*>(memmem(q, static_cast<size_t>(e - q), close.data(), close.size()));
          if (!c) {
            piece(q, e);
            break;
          }
          if (c > q) piece(q, c);
          q = nextLt(c + 1);
          piece(c, q);
        }
      } catch (const StopParsing&) {
        done = true;
        leftover.assign(pieceEnd, e);
      }
    };
    std::unique_ptr<TableScanner> scanner;
    if (resumed) scanner = std::make_unique<TableScanner>(px, nullptr, what, index - passed, sink);
    auto consume = [&](const char* p, size_t n) {
      const char* e = p + n;
      while (!scanner && p < e) {
        const char* lt = static_cast<const char*>(std::memchr(p + 1, '<', static_cast<size_t>(e - p - 1)));
        if (!lt) lt = e;
        headParser.feed(p, static_cast<size_t>(lt - p));
        p = lt;
        if (head.inSpreadsheet()) {
          px = head.prefixes();
          scanner = std::make_unique<TableScanner>(px, nullptr, what, index, sink);
        }
      }
      if (scanner && p < e) scanner->feed(p, static_cast<size_t>(e - p));
    };
    try {
      if (!pending.empty()) consume(pending.data(), pending.size());
      std::unique_ptr<char[]> buf(new char[kChunk]);
      while (!done) {
        size_t n = in->read(buf.get(), kChunk);
        if (n == 0) break;
        consume(buf.get(), n);
      }
      if (!done && h.started()) parser.finish();
      if (!scanner) headParser.finish();
    } catch (const StopParsing&) {
      // The spreadsheet ended before the table.
    }
    if (done) resume_ = Resume{std::move(in), std::move(leftover), index + 1, px};
  }

  void listTables(ListHandler& list) {
    try {
      scanTables(list);
    } catch (const StopParsing&) {
    }
  }

  static constexpr size_t kChunk = 1 << 16;

  struct Resume {
    std::unique_ptr<ZipPackage::Reader> reader;
    std::string leftover;  // read from `reader`, not yet looked at
    size_t nextTable;      // the table that starts in or after `leftover`
    Prefixes prefixes;
  };

  std::unique_ptr<ZipPackage> pkg_;
  std::optional<Resume> resume_;
  std::string shown_;
  const FormulaServices& formulas_;
  OdsStyleSheet styleSheet_;
  bool date1904_ = false;
  std::vector<SheetInfo> sheets_;
  std::shared_ptr<const StyleTable> styles_;
};

}  // namespace

std::unique_ptr<WorkbookReader> OpenOds(std::unique_ptr<ZipPackage> package, const std::string& shownName,
                                        const FormulaServices& formulas) {
  return std::make_unique<OdsReader>(std::move(package), shownName, formulas);
}

}  // namespace corvane
