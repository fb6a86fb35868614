#include "engine/xlsb/xlsb_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "engine/containers/opc_package.h"
#include "engine/containers/xlsb_records.h"
#include "engine/containers/zip_package.h"
#include "engine/core/biff_common.h"
#include "engine/core/error.h"
#include "engine/core/formula_services.h"
#include "engine/core/sheet_builder.h"
#include "engine/xlsb/xlsb_styles.h"

namespace corvane {

namespace {

using xlsb::Reader;
using xlsb::RecordSink;
using xlsb::RecordSplitter;

// Record types, as the binary parts number them.
enum : uint32_t {
  kRowHdr = 0, kCellBlank = 1, kCellRk = 2, kCellError = 3, kCellBool = 4, kCellReal = 5, kCellSt = 6,
  kCellIsst = 7, kFmlaString = 8, kFmlaNum = 9, kFmlaBool = 10, kFmlaError = 11,
  kShortBlank = 12, kShortRk = 13, kShortError = 14, kShortBool = 15, kShortReal = 16, kShortSt = 17,
  kShortIsst = 18, kSSTItem = 19, kName = 39, kColInfo = 60, kCellRString = 62, kShortRString = 63,
  kBeginSheetData = 145, kEndSheetData = 146, kWsDim = 148, kWbProp = 153, kBundleSh = 156, kBeginSst = 159, kMergeCell = 176,
  kSupSelf = 357, kSupSame = 358, kSupTabs = 359, kBeginSupBook = 360, kExternSheet = 362,
  kArrFmla = 426, kShrFmla = 427, kWsFmtInfo = 485, kHLink = 494, kSupNameStart = 577, kCommentAuthor = 632,
  kBeginComment = 635, kCommentText = 637, kSupAddin = 667,
};

// Feeds a whole part to `sink`. The part may stop early when the sink has all it needs.
void ReadPart(const ZipPackage& pkg, const std::string& part, RecordSink& sink, const std::string& what) {
  RecordSplitter split(sink, what);
  bool done = false;
  struct Stop {};
  try {
    pkg.stream(part, [&](const char* p, size_t n) {
      if (!split.feed(p, n)) throw Stop{};
    });
  } catch (const Stop&) {
    done = true;
  }
  if (!done) split.finish();
}

// A range as BIFF12 stores it: first row, last row, first column, last column.
bool ReadRfx(Reader& in, Rect& r) {
  uint32_t r1 = in.u32(), r2 = in.u32(), c1 = in.u32(), c2 = in.u32();
  if (r1 > r2 || c1 > c2 || r2 >= kMaxRows || c2 >= kMaxCols) return false;
  r = Rect{static_cast<int32_t>(r1), static_cast<int32_t>(c1), static_cast<int32_t>(r2), static_cast<int32_t>(c2)};
  return true;
}

// ---------------------------------------------------------------------------
// workbook.bin

struct BookSheet {
  std::string name, relId;
  SheetVisibility visibility = SheetVisibility::Visible;
};

class WorkbookSink : public RecordSink {
 public:
  std::vector<BookSheet> sheets;
  bool date1904 = false;
  xlsb::FormulaContext ctx;

  bool record(uint32_t type, const uint8_t* data, uint32_t size) override {
    Reader in(data, size);
    switch (type) {
      case kBundleSh: bundleSheet(data, size); break;
      case kWbProp: date1904 = in.u32() & 1; break;
      case kName: name(in); break;
      case kSupSelf: ctx.supBooks.push_back({xlsb::SupBookKind::Self, 0, {}, {}}); break;
      case kSupSame: ctx.supBooks.push_back({xlsb::SupBookKind::Same, 0, {}, {}}); break;
      case kSupAddin: ctx.supBooks.push_back({xlsb::SupBookKind::Addin, 0, {}, {}}); break;
      case kBeginSupBook: {
        xlsb::SupBook b;
        b.kind = xlsb::SupBookKind::External;
        b.externalIndex = ++externals_;
        ctx.supBooks.push_back(std::move(b));
        break;
      }
      case kSupTabs:
        if (!ctx.supBooks.empty()) {
          uint32_t n = in.u32();
          if (n > in.left() / 4) throw xlsb::RecordTooShort{};
          auto& tabs = ctx.supBooks.back().sheets;
          for (uint32_t i = 0; i < n; ++i) in.wideString(tabs.emplace_back());
        }
        break;
      case kSupNameStart:
        if (!ctx.supBooks.empty()) in.wideString(ctx.supBooks.back().names.emplace_back());
        break;
      case kExternSheet: {
        uint32_t n = in.u32();
        if (n > in.left() / 12) throw xlsb::RecordTooShort{};
        ctx.externSheets.clear();
        ctx.externSheets.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
          xlsb::ExternSheet x;
          x.supBook = in.i32();
          x.first = in.i32();
          x.last = in.i32();
          ctx.externSheets.push_back(x);
        }
        break;
      }
      default:
        break;
    }
    return true;
  }

 private:
  // Visibility, tab id, relationship id and name. Excel 2007 put four more bytes
  // before the tab id: the layout whose strings end exactly at the record's end wins.
  void bundleSheet(const uint8_t* data, uint32_t size) {
    for (size_t skip : {size_t{8}, size_t{12}}) {
      if (size < skip) break;
      try {
        Reader in(data, size);
        uint32_t state = in.u32();
        in.skip(skip - 4);
        BookSheet s;
        in.nullableWideString(s.relId);
        in.wideString(s.name);
        if (in.left() != 0) continue;
        s.visibility = state == 1 ? SheetVisibility::Hidden
                       : state == 2 ? SheetVisibility::VeryHidden
                                    : SheetVisibility::Visible;
        sheets.push_back(std::move(s));
        return;
      } catch (const xlsb::RecordTooShort&) {
        continue;
      }
    }
    throw xlsb::RecordTooShort{};
  }

  void name(Reader& in) {
    in.u32();  // flags
    in.u8();   // shortcut key
    xlsb::DefinedName n;
    n.scope = in.i32();
    in.wideString(n.name);
    ctx.names.push_back(std::move(n));
  }

  int externals_ = 0;
};

// ---------------------------------------------------------------------------
// sharedStrings.bin

class SharedStringsSink : public RecordSink {
 public:
  explicit SharedStringsSink(StringPool& pool) : pool_(pool) {}
  bool record(uint32_t type, const uint8_t* data, uint32_t size) override {
    Reader in(data, size);
    if (type == kSSTItem) {
      in.u8();  // rich-text and phonetic flags: their runs follow the text
      buf_.clear();
      in.wideString(buf_);
      pool_.add(buf_);
    } else if (type == kBeginSst) {
      in.u32();
      uint32_t unique = in.u32();
      pool_.reserve(std::min<uint32_t>(unique, 1u << 20), 0);
    }
    return true;
  }

 private:
  StringPool& pool_;
  std::string buf_;
};

// ---------------------------------------------------------------------------
// comments

class CommentsSink : public RecordSink {
 public:
  std::vector<Comment> comments;
  bool record(uint32_t type, const uint8_t* data, uint32_t size) override {
    Reader in(data, size);
    switch (type) {
      case kCommentAuthor:
        in.wideString(authors_.emplace_back());
        break;
      case kBeginComment: {
        uint32_t author = in.u32();
        Rect r;
        open_ = ReadRfx(in, r);
        if (!open_) break;
        Comment c;
        c.row = r.r1;
        c.col = r.c1;
        if (author < authors_.size()) c.author = authors_[author];
        comments.push_back(std::move(c));
        break;
      }
      case kCommentText:
        if (open_) {
          in.u8();
          in.wideString(comments.back().text);
          open_ = false;
        }
        break;
      default:
        break;
    }
    return true;
  }

 private:
  std::vector<std::string> authors_;
  bool open_ = false;
};

// ---------------------------------------------------------------------------
// Sheet parts: the hot path

struct PendingLink {
  Rect ref;
  std::string relId, location, tooltip, display;
};

// A shared formula's tokens, kept for the cells that point to it.
struct SharedTokens {
  Rect range;
  std::vector<uint8_t> rgce, rgcb;
};

double RkValue(uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<int32_t>(rk) >> 2);
  } else {
    uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, 8);
  }
  return (rk & 1) ? v / 100 : v;
}

uint64_t Key(int32_t row, int32_t col) { return (static_cast<uint64_t>(row) << 16) | static_cast<uint32_t>(col); }

class SheetSink : public RecordSink {
 public:
  SheetSink(SheetData& sheet, const StringPool* sst, uint32_t styleCount,
            std::unique_ptr<xlsb::TokenDecompiler> decompiler, const std::string& what)
      : sheet_(sheet), sst_(sst), styleCount_(styleCount), decompiler_(std::move(decompiler)), what_(what) {}

  std::vector<PendingLink> links;
  // The most cells the part can hold, at 10 bytes a cell record (a blank one): the stored
  // dimension makes room for no more.
  uint64_t cellRoom = UINT64_MAX;

  bool record(uint32_t type, const uint8_t* data, uint32_t size) override {
    // Only the record right after a formula cell can carry that cell's shared tokens.
    if (type != kShrFmla && type != kArrFmla && type != kFmlaString && type != kFmlaNum && type != kFmlaBool &&
        type != kFmlaError)
      lastFormula_ = kNoCell;
    Reader in(data, size);
    if (type < kSSTItem || type == kCellRString || type == kShortRString) {
      // Cell records mean cells only inside the sheet data.
      if (!inData_) return true;
    } else if (type == kBeginSheetData) {
      inData_ = true;
      return true;
    } else if (type == kEndSheetData) {
      inData_ = false;
      return true;
    }
    switch (type) {
      case kRowHdr: {
        uint32_t r = in.u32();
        if (r >= static_cast<uint32_t>(kMaxRows)) damaged("row number " + std::to_string(r + 1) + " is outside the sheet");
        row_ = static_cast<int32_t>(r);
        col_ = -1;
        rowHeader(in);
        return true;
      }
      case kCellBlank: case kShortBlank:
        cell(in, type == kShortBlank);
        // A blank of the default format matters only against its row's or column's format.
        if (rowFormatted_ || b_.blankMatters(row_, col_, style_)) place(Cell::BlankValue());
        return true;
      case kCellRk: case kShortRk:
        cell(in, type == kShortRk);
        place(Cell::NumberValue(RkValue(in.u32())));
        return true;
      case kCellReal: case kShortReal:
        cell(in, type == kShortReal);
        place(Cell::NumberValue(in.f64()));
        return true;
      case kCellBool: case kShortBool:
        cell(in, type == kShortBool);
        place(Cell::BoolValue(in.u8() != 0));
        return true;
      case kCellError: case kShortError:
        cell(in, type == kShortError);
        place(Cell::ErrorValue(biff::ErrorFromBiff(in.u8(), ErrorCode::Unknown)));
        return true;
      case kCellIsst: case kShortIsst: {
        cell(in, type == kShortIsst);
        uint32_t i = in.u32();
        if (!sst_ || i >= sst_->size()) damaged("a cell refers to a shared string that does not exist");
        place(Cell::SharedStringValue(i));
        return true;
      }
      case kCellSt: case kShortSt: case kCellRString: case kShortRString: {
        cell(in, type == kShortSt || type == kShortRString);
        if (type == kCellRString || type == kShortRString) in.u8();  // the runs follow the text
        str_.clear();
        in.wideString(str_);
        place(b_.ownString(str_));
        return true;
      }
      case kFmlaString: case kFmlaNum: case kFmlaBool: case kFmlaError:
        formulaCell(type, in);
        return true;
      case kShrFmla: sharedFormula(in); return true;
      case kArrFmla: arrayFormula(in); return true;
      case kWsDim: dimension(in); return true;
      case kWsFmtInfo:
        if (in.left() >= 8) {
          in.skip(6);  // default column width, in two forms
          defaultHeight_ = in.u16();
        }
        return true;
      case kColInfo: colInfo(in); return true;
      case kMergeCell: {
        Rect r;
        if (ReadRfx(in, r) && (r.rows() > 1 || r.cols() > 1)) sheet_.merges.push_back(r);
        return true;
      }
      case kHLink: {
        PendingLink l;
        if (!ReadRfx(in, l.ref)) return true;
        in.nullableWideString(l.relId);
        in.wideString(l.location);
        in.wideString(l.tooltip);
        in.wideString(l.display);
        links.push_back(std::move(l));
        return true;
      }
      default:
        return true;
    }
  }


 private:
  [[noreturn]] void damaged(const std::string& why) { throw AutomationError(what_ + " is damaged: " + why + "."); }

  // The cell header: its column (unless it is the short form, which follows the
  // previous cell) and its format.
  void cell(Reader& in, bool shortForm) {
    if (shortForm) {
      ++col_;
    } else {
      uint32_t c = in.u32();
      if (c >= static_cast<uint32_t>(kMaxCols)) damaged("a cell lies past the last column of the sheet");
      col_ = static_cast<int32_t>(c);
    }
    if (col_ >= kMaxCols) damaged("a row has more cells than a sheet can hold");
    uint32_t s = in.u32() & 0xFFFFFF;
    style_ = s < styleCount_ ? s : 0;
  }

  // The cell whose header cell() read.
  void place(const Cell& value) { b_.add(value, row(), col_, style_); }
  // The row at hand; cells before the first row header are taken for row 1.
  int32_t row() const { return row_ < 0 ? 0 : row_; }

  // BrtRowHdr after the row number: its format (when the row has one of its own), height in
  // twips and flags. Only what differs from a plain row is kept.
  void rowHeader(Reader& in) {
    rowFormatted_ = false;
    if (in.left() < 8) return;
    uint32_t ixfe = in.u32();
    uint16_t height = in.u16();
    uint16_t flags = in.u16();
    RowInfo info;
    info.row = row_;
    info.hidden = flags & 0x1000;
    info.hasStyle = flags & 0x4000;
    info.style = info.hasStyle && ixfe < styleCount_ ? ixfe : 0;
    // Set by hand (or not the sheet's default): an automatic height follows the row's content.
    if ((flags & 0x2000) || (defaultHeight_ != 0 && height != defaultHeight_)) info.height = height / 20.0;
    rowFormatted_ = info.hasStyle;
    if (info.hasStyle || info.hidden || info.height >= 0) sheet_.rowInfo.push_back(info);
  }

  // BrtColInfo: a run of columns with their width in 1/256 of a character, format and flags.
  void colInfo(Reader& in) {
    uint32_t first = in.u32(), last = in.u32(), width = in.u32(), ixfe = in.u32();
    uint16_t flags = in.left() >= 2 ? in.u16() : 0;
    if (first > last || first >= static_cast<uint32_t>(kMaxCols)) return;
    ColInfo c;
    c.first = static_cast<int32_t>(first);
    c.last = static_cast<int32_t>(std::min<uint32_t>(last, kMaxCols - 1));
    c.width = width / 256.0;
    c.hidden = flags & 1;
    c.style = ixfe < styleCount_ ? ixfe : 0;
    c.hasStyle = c.style != 0;
    sheet_.colInfo.push_back(c);
  }

  void dimension(Reader& in) {
    Rect r;
    if (ReadRfx(in, r)) b_.reserve(std::min(static_cast<uint64_t>(r.rows()) * static_cast<uint64_t>(r.cols()), cellRoom));
  }

  void formulaCell(uint32_t type, Reader& in) {
    cell(in, false);
    // The cached result.
    cachedString_.clear();
    switch (type) {
      case kFmlaNum: cached_ = {CachedKind::Number, in.f64(), ErrorCode::NA, {}}; break;
      case kFmlaBool: cached_ = {CachedKind::Bool, in.u8() ? 1.0 : 0.0, ErrorCode::NA, {}}; break;
      case kFmlaError: cached_ = {CachedKind::Error, 0, biff::ErrorFromBiff(in.u8(), ErrorCode::Unknown), {}}; break;
      default:
        in.wideString(cachedString_);
        cached_ = {CachedKind::String, 0, ErrorCode::NA, cachedString_};
        break;
    }
    in.u16();  // recalculation flags
    uint32_t cce = in.u32();
    in.need(cce);
    const uint8_t* rgce = in.here();
    in.skip(cce);
    uint32_t cb = in.u32();
    in.need(cb);
    const uint8_t* rgcb = in.here();

    lastFormula_ = Key(row_, col_);
    lastFormulaIndex_ = SIZE_MAX;
    // PtgExp: the formula is shared with, or an array formula of, the cell it names.
    if (cce == 5 && rgce[0] == 0x01 && cb >= 4) {
      Reader exp(rgce + 1, 4), ext(rgcb, cb);
      uint32_t r = exp.u32(), c = ext.u32();
      if (r < static_cast<uint32_t>(kMaxRows) && c < static_cast<uint32_t>(kMaxCols)) {
        uint64_t key = Key(static_cast<int32_t>(r), static_cast<int32_t>(c));
        if (auto it = shared_.find(key); it != shared_.end()) {
          const SharedTokens& t = it->second;
          if (t.range.contains(row_, col_))
            emitFormula(t.rgce.data(), t.rgce.size(), t.rgcb.data(), t.rgcb.size(), FormulaKind::Normal, Rect{});
          else
            emitValue();
          return;
        }
        // Cells inside an array formula's range hold just their values.
        bool inArray = arrays_.count(key) != 0;
        emitValue();
        // The tokens come with a BrtShrFmla or BrtArrFmla that may still follow:
        // right after this cell when it is the one named, or later in the row.
        size_t last = b_.count() - 1;
        if (!inArray && b_.count() > 0 && b_.cell(last).row == static_cast<uint32_t>(row()) && b_.cell(last).col == col_) {
          pending_[key].push_back(last);
          lastFormulaIndex_ = last;
        }
        return;
      }
      emitValue();
      return;
    }
    emitFormula(rgce, cce, rgcb, cb, FormulaKind::Normal, Rect{});
  }

  // Reads the tokens of a BrtShrFmla or BrtArrFmla (after its range).
  static void Tokens(Reader& in, const uint8_t*& rgce, uint32_t& cce, const uint8_t*& rgcb, uint32_t& cb) {
    cce = in.u32();
    in.need(cce);
    rgce = in.here();
    in.skip(cce);
    cb = in.u32();
    in.need(cb);
    rgcb = in.here();
  }

  void sharedFormula(Reader& in) {
    Rect range;
    bool okRange = ReadRfx(in, range);
    const uint8_t *rgce, *rgcb;
    uint32_t cce, cb;
    Tokens(in, rgce, cce, rgcb, cb);
    // It belongs to the formula cell just before it, which its cells name in their PtgExp.
    if (!okRange || lastFormula_ == kNoCell) return;
    uint64_t key = lastFormula_;
    lastFormula_ = kNoCell;
    SharedTokens& t = shared_[key];
    t.range = range;
    t.rgce.assign(rgce, rgce + cce);
    t.rgcb.assign(rgcb, rgcb + cb);
    auto it = pending_.find(key);
    if (it == pending_.end()) return;
    for (size_t index : it->second) {
      const Cell& c = b_.cell(index);
      if (range.contains(static_cast<int32_t>(c.row), c.col)) becomeFormula(index, t.rgce.data(), t.rgce.size(),
                                                                            t.rgcb.data(), t.rgcb.size(),
                                                                            FormulaKind::Normal, Rect{});
    }
    pending_.erase(it);
  }

  void arrayFormula(Reader& in) {
    Rect range;
    bool okRange = ReadRfx(in, range);
    in.u8();  // recalculation flag
    const uint8_t *rgce, *rgcb;
    uint32_t cce, cb;
    Tokens(in, rgce, cce, rgcb, cb);
    if (!okRange || lastFormula_ == kNoCell) return;
    uint64_t key = lastFormula_;
    lastFormula_ = kNoCell;
    arrays_.insert(key);
    size_t index = lastFormulaIndex_;
    pending_.erase(key);
    if (index == SIZE_MAX) return;
    const Cell& c = b_.cell(index);
    if (range.r1 == static_cast<int32_t>(c.row) && range.c1 == c.col)
      becomeFormula(index, rgce, cce, rgcb, cb, FormulaKind::Array, range);
  }

  // Turns the value cell at `index` into the formula whose tokens came after it.
  void becomeFormula(size_t index, const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb,
                     FormulaKind kind, Rect range) {
    const Cell& c = b_.cell(index);
    xlsb::Decoded d = decompiler_->decompile(rgce, cce, rgcb, cb, static_cast<int32_t>(c.row), c.col, text_);
    if (d == xlsb::Decoded::NotFormula || text_.empty()) return;
    b_.toFormula(index, made(kind, range, d));
  }

  // The formula of the cell at hand, or its cached result when the tokens have no text.
  void emitFormula(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, FormulaKind kind, Rect range) {
    xlsb::Decoded d = decompiler_->decompile(rgce, cce, rgcb, cb, row(), col_, text_);
    if (d == xlsb::Decoded::NotFormula || text_.empty()) {
      emitValue();
      return;
    }
    place(b_.formula(made(kind, range, d), cached_));
  }

  Formula made(FormulaKind kind, Rect range, xlsb::Decoded d) const {
    Formula f;
    f.text = text_;
    f.kind = kind;
    f.arrayRange = range;
    f.valueOnly = d == xlsb::Decoded::ValueOnly;
    return f;
  }

  // A formula cell kept as its cached result.
  void emitValue() {
    Cell v = b_.value(cached_);
    if (v.type == CellType::Blank && style_ == 0) return;
    place(v);
  }

  SheetData& sheet_;
  SheetBuilder b_{sheet_};
  const StringPool* sst_;
  uint32_t styleCount_;
  std::unique_ptr<xlsb::TokenDecompiler> decompiler_;  // one per sheet: it reuses its buffers
  const std::string& what_;

  static constexpr uint64_t kNoCell = UINT64_MAX;

  int32_t row_ = -1, col_ = -1;
  uint32_t style_ = 0;  // the format of the cell at hand
  bool inData_ = false;
  bool rowFormatted_ = false;  // the current row has a format of its own
  uint16_t defaultHeight_ = 0;  // the sheet's row height in twips, 0 when unknown
  uint64_t lastFormula_ = kNoCell;     // position of the formula cell just read
  size_t lastFormulaIndex_ = SIZE_MAX;  // its index in the cells when it waits for tokens
  CachedResult cached_;  // the last result of the formula cell at hand (its text in cachedString_)
  std::string str_, cachedString_, text_;
  std::unordered_map<uint64_t, SharedTokens> shared_;
  std::unordered_map<uint64_t, std::vector<size_t>> pending_;  // cells waiting for their shared tokens
  std::unordered_set<uint64_t> arrays_;                         // masters of array formulas
};

// ---------------------------------------------------------------------------

class XlsbReader : public WorkbookReader {
 public:
  XlsbReader(std::unique_ptr<ZipPackage> pkg, const std::string& shown, const FormulaServices& formulas)
      : pkg_(std::move(pkg)), shown_(shown), formulas_(formulas) {
    workbookPart_ = MainDocumentPart(*pkg_, shown_);
    if (workbookPart_.empty()) workbookPart_ = "xl/workbook.bin";
    if (!pkg_->has(workbookPart_))
      throw AutomationError(Quoted(shown_) + " is damaged: its workbook part " + workbookPart_ + " is missing.");

    WorkbookSink wb;
    ReadPart(*pkg_, workbookPart_, wb, partName(workbookPart_));
    date1904_ = wb.date1904;
    ctx_ = std::move(wb.ctx);

    std::vector<Relationship> rels = ReadRelationships(*pkg_, workbookPart_, shown_);
    std::string dir = DirOf(workbookPart_);
    WorkbookLinks links = FindWorkbookLinks(rels, dir);
    stylesPart_ = links.styles;
    sstPart_ = links.sharedStrings;
    themePart_ = links.theme;
    for (auto& s : wb.sheets) {
      ctx_.sheetNames.push_back(s.name);
      SheetInfo info;
      info.name = s.name;
      info.visibility = s.visibility;
      std::string part;
      if (!ResolveSheet(rels, dir, s.relId, info.kind, part)) continue;
      sheets_.push_back(std::move(info));
      parts_.push_back(std::move(part));
    }
  }

  const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  std::shared_ptr<const StyleTable> styles() override {
    if (!styles_) {
      auto t = std::make_shared<StyleTable>();
      std::string themeXml = themePart_.empty() || !pkg_->has(themePart_) ? "" : pkg_->read(themePart_, 16u << 20);
      t->styles = stylesPart_.empty() || !pkg_->has(stylesPart_)
                      ? std::vector<Style>{Style{}}
                      : xlsb::ReadStyles(*pkg_, stylesPart_, themeXml, partName(stylesPart_), partName(themePart_));
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
    SheetSink h(*sheet, sst_.get(), static_cast<uint32_t>(st->styles.size()), formulas_.Biff12Decompiler(ctx_), what);
    h.cellRoom = pkg_->size(part) / 10;
    ReadPart(*pkg_, part, h, what);

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
      CommentsSink cs;
      ReadPart(*pkg_, cpart, cs, partName(cpart));
      for (auto& c : cs.comments) sheet->comments.push_back(std::move(c));
    }

    sheet->finishLoading();
    return sheet;
  }

 private:
  std::string partName(const std::string& part) const { return PartOf(shown_, part); }

  void loadSharedStrings() {
    if (sst_) return;
    auto pool = std::make_shared<StringPool>();
    if (!sstPart_.empty() && pkg_->has(sstPart_)) {
      SharedStringsSink h(*pool);
      ReadPart(*pkg_, sstPart_, h, partName(sstPart_));
    }
    sst_ = pool;
  }

  std::unique_ptr<ZipPackage> pkg_;
  std::string shown_;
  const FormulaServices& formulas_;
  std::string workbookPart_, stylesPart_, sstPart_, themePart_;
  bool date1904_ = false;
  xlsb::FormulaContext ctx_;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> parts_;
  std::shared_ptr<const StringPool> sst_;
  std::shared_ptr<const StyleTable> styles_;
};

}  // namespace

std::unique_ptr<WorkbookReader> OpenXlsb(std::unique_ptr<ZipPackage> package, const std::string& shownName,
                                         const FormulaServices& formulas) {
  return std::make_unique<XlsbReader>(std::move(package), shownName, formulas);
}

}  // namespace corvane
