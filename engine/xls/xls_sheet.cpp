#include "engine/xls/xls_sheet.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "engine/core/biff_common.h"
#include "engine/core/error.h"
#include "engine/core/sheet_builder.h"
#include "engine/core/unicode.h"

namespace corvane::xls {

namespace {

constexpr uint64_t kMaxReservedCells = uint64_t(1) << 22;


double Rk(uint32_t v) {
  double d;
  if (v & 2) {
    d = static_cast<double>(static_cast<int32_t>(v) >> 2);
  } else {
    uint64_t bits = static_cast<uint64_t>(v & 0xFFFFFFFCu) << 32;
    std::memcpy(&d, &bits, 8);
  }
  return (v & 1) ? d / 100 : d;
}

struct SharedFormula {
  Rect range;
  std::string rgce, extra;
};

struct ArrayFormula {
  Rect range;
  std::string text;
  bool ok = false;
};

// A formula cell whose text lies elsewhere (ptgExp, ptgTbl): settled once the sheet is read.
struct Pending {
  size_t cell;
  uint16_t expRow, expCol;
  bool table;
};

class SheetLoader {
 public:
  SheetLoader(SheetData& sheet, const BiffLinks& links, const FormulaServices& formulas, bool v8,
              const std::vector<uint32_t>& xfToStyle, CodePage& codePage, std::string what)
      : sheet_(sheet), links_(links), formulas_(formulas), v8_(v8), xf_(xfToStyle), codePage_(codePage),
        what_(std::move(what)) {}

  void run(Records& rec, uint64_t streamSize);

 private:
  [[noreturn]] void damaged(const std::string& why) const { throw AutomationError(what_ + " is damaged: " + why + "."); }

  uint32_t style(uint16_t ixfe) const { return ixfe < xf_.size() ? xf_[ixfe] : 0; }

  void number(uint16_t row, uint16_t col, uint16_t ixfe, double v) { b_.add(Cell::NumberValue(v), row, col, style(ixfe)); }

  void blank(uint16_t row, uint16_t col, uint16_t ixfe) {
    uint32_t s = style(ixfe);
    // A blank of the default format matters only against its row's or column's format.
    if (b_.blankMatters(row, col, s)) b_.add(Cell::BlankValue(), row, col, s);
  }

  void ownString(uint16_t row, uint16_t col, uint16_t ixfe, const std::string& s) {
    if (col < kMaxCols) b_.add(b_.ownString(s), row, col, style(ixfe));
  }

  // A string cell's text: BIFF8 with a flags byte, BIFF5 in the code page.
  void readString(const uint8_t* p, size_t avail, std::string& out) {
    out.clear();
    if (avail < 2) return;
    size_t cch = U16(p);
    if (!v8_) {
      codePage_.append(out, p + 2, std::min(cch, avail - 2));
      return;
    }
    if (avail < 3) return;
    bool wide = p[2] & 1;
    size_t have = (avail - 3) / (wide ? 2 : 1);
    cch = std::min(cch, have);
    if (wide) AppendUtf16Le(out, p + 3, cch);
    else biff::AppendLatin1(out, p + 3, cch);
  }

  void formula(const uint8_t* d, size_t n);
  void rowRecord(const uint8_t* d, size_t n);
  void colInfo(const uint8_t* d, size_t n);
  void settle();
  void hlink(const uint8_t* d, size_t n);

  SheetData& sheet_;
  SheetBuilder b_{sheet_};
  const BiffLinks& links_;
  const FormulaServices& formulas_;
  bool v8_;
  const std::vector<uint32_t>& xf_;
  CodePage& codePage_;
  std::string what_;

  static uint32_t Key(uint32_t row, uint32_t col) { return (row << 16) | (col & 0xFFFF); }

  int64_t stringFormula_ = -1;  // the formula cell whose string result the next STRING record holds
  uint32_t lastFormula_ = UINT32_MAX;  // where the last FORMULA record was (Key)
  std::vector<Pending> pending_;
  // By the cell whose FORMULA record they follow: where every ptgExp of theirs points.
  std::unordered_map<uint32_t, SharedFormula> shared_;
  std::unordered_map<uint32_t, ArrayFormula> arrays_;
  std::unordered_map<uint16_t, std::string> objText_;
  int32_t lastObj_ = -1;
  int32_t defaultHeight_ = -1;  // the sheet's row height in twips, below 0 when not given
  std::string buf_;
};

void SheetLoader::run(Records& rec, uint64_t streamSize) {
  int depth = 0;  // charts embedded in the sheet bring substreams of their own
  while (rec.next()) {
    const uint8_t* d = rec.data();
    const size_t n = rec.len;
    if (rec.type == kBof) {
      ++depth;
      continue;
    }
    if (rec.type == kEof) {
      if (depth-- == 0) break;
      continue;
    }
    if (depth > 0) continue;
    switch (rec.type) {
      case kNumber:
        if (n >= 14) number(U16(d), U16(d + 2), U16(d + 4), F64(d + 6));
        break;
      case kRk:
        if (n >= 10) number(U16(d), U16(d + 2), U16(d + 4), Rk(U32(d + 6)));
        break;
      case kMulRk: {
        if (n < 6) break;
        uint16_t row = U16(d), col = U16(d + 2);
        size_t count = (n - 6) / 6;
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* e = d + 4 + 6 * i;
          number(row, static_cast<uint16_t>(std::min<size_t>(col + i, 0xFFFF)), U16(e), Rk(U32(e + 2)));
        }
        break;
      }
      case kLabelSst: {
        if (n < 10) break;
        uint32_t idx = U32(d + 6);
        if (!sheet_.shared || idx >= sheet_.shared->size()) damaged("a cell refers to a shared string that does not exist");
        b_.add(Cell::SharedStringValue(idx), U16(d), U16(d + 2), style(U16(d + 4)));
        break;
      }
      case kLabel:
      case kRString:
        if (n < 8) break;
        readString(d + 6, n - 6, buf_);
        ownString(U16(d), U16(d + 2), U16(d + 4), buf_);
        break;
      case kBoolErr:
        if (n < 8) break;
        b_.add(d[7] ? Cell::ErrorValue(biff::ErrorFromBiff(d[6])) : Cell::BoolValue(d[6] != 0), U16(d), U16(d + 2),
               style(U16(d + 4)));
        break;
      case kBlank:
        if (n >= 6) blank(U16(d), U16(d + 2), U16(d + 4));
        break;
      case kMulBlank: {
        if (n < 6) break;
        uint16_t row = U16(d), col = U16(d + 2);
        size_t count = (n - 6) / 2;
        for (size_t i = 0; i < count; ++i)
          blank(row, static_cast<uint16_t>(std::min<size_t>(col + i, 0xFFFF)), U16(d + 4 + 2 * i));
        break;
      }
      case kFormula:
        formula(d, n);
        break;
      case kRow:
        rowRecord(d, n);
        break;
      case kColInfo:
        colInfo(d, n);
        break;
      case kDefaultRowHeight:
        if (n >= 4) defaultHeight_ = U16(d + 2);
        break;
      case kString: {
        if (stringFormula_ < 0) break;
        std::string s;
        if (v8_) {
          Continued c;
          c.read(rec);
          PieceReader r(c);
          uint16_t cch = 0;
          uint8_t flags = 0;
          if (r.u16(cch) && r.u8(flags)) r.chars(cch, flags & 1, s);
        } else {
          readString(d, n, s);
        }
        b_.formulaOf(static_cast<size_t>(stringFormula_)).cachedString = std::move(s);
        stringFormula_ = -1;
        break;
      }
      case kShrFmla: {
        if (!v8_ || n < 10) break;
        size_t cce = U16(d + 8);
        if (cce > n - 10) break;
        SharedFormula f;
        f.range = Rect{U16(d), d[4], U16(d + 2), d[5]};
        f.rgce.assign(reinterpret_cast<const char*>(d + 10), cce);
        f.extra.assign(reinterpret_cast<const char*>(d + 10 + cce), n - 10 - cce);
        uint32_t key = lastFormula_ != UINT32_MAX ? lastFormula_ : Key(U16(d), d[4]);
        shared_[key] = std::move(f);
        break;
      }
      case kArray: {
        if (!v8_ || n < 14) break;
        size_t cce = U16(d + 12);
        if (cce > n - 14) break;
        ArrayFormula a;
        a.range = Rect{U16(d), d[4], U16(d + 2), d[5]};
        std::string_view rgce(reinterpret_cast<const char*>(d + 14), cce);
        std::string_view extra(reinterpret_cast<const char*>(d + 14 + cce), n - 14 - cce);
        a.ok = formulas_.DecompileBiff8(rgce, extra, a.range.r1, a.range.c1, links_, a.text);
        arrays_[Key(U16(d), d[4])] = std::move(a);
        break;
      }
      case kDimensions: {
        uint64_t rows = 0, cols = 0;
        if (v8_ && n >= 12) {
          uint32_t r1 = U32(d), r2 = U32(d + 4);
          rows = r2 > r1 ? r2 - r1 : 0;
          cols = U16(d + 10) > U16(d + 8) ? U16(d + 10) - U16(d + 8) : 0;
        } else if (n >= 8) {
          rows = U16(d + 2) > U16(d) ? U16(d + 2) - U16(d) : 0;
          cols = U16(d + 6) > U16(d + 4) ? U16(d + 6) - U16(d + 4) : 0;
        }
        // A guess of how many cells follow, bounded by what the stream can hold.
        b_.reserve(std::min({rows * cols, streamSize / 8, kMaxReservedCells}));
        break;
      }
      case kMergedCells: {
        if (n < 2) break;
        size_t count = std::min<size_t>(U16(d), (n - 2) / 8);
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* m = d + 2 + 8 * i;
          Rect r{U16(m), U16(m + 4), U16(m + 2), U16(m + 6)};
          if (r.empty() || r.c2 >= kMaxCols) continue;
          if (r.rows() > 1 || r.cols() > 1) sheet_.merges.push_back(r);
        }
        break;
      }
      case kHlink:
        hlink(d, n);
        break;
      case kHlinkTooltip: {
        if (n < 10 || sheet_.links.empty()) break;
        std::string tip;
        AppendUtf16Le(tip, d + 10, (n - 10) / 2);
        while (!tip.empty() && tip.back() == '\0') tip.pop_back();
        if (auto z = tip.find('\0'); z != std::string::npos) tip.resize(z);
        for (auto& l : sheet_.links)
          if (l.row == U16(d + 2) && l.col == U16(d + 6)) l.tooltip = tip;
        break;
      }
      case kObj:
        if (n >= 8 && U16(d) == 0x15) lastObj_ = U16(d + 6);
        break;
      case kTxo: {
        if (!v8_ || n < 14 || lastObj_ < 0) break;
        size_t left = U16(d + 10);
        std::string text;
        while (left > 0 && rec.peek() == kContinue && rec.next()) {
          const uint8_t* c = rec.data();
          if (rec.len < 1) continue;
          bool wide = c[0] & 1;
          size_t k = std::min<size_t>(left, (rec.len - 1u) / (wide ? 2u : 1u));
          if (wide) AppendUtf16Le(text, c + 1, k);
          else biff::AppendLatin1(text, c + 1, k);
          left -= k;
          if (k == 0) break;
        }
        objText_[static_cast<uint16_t>(lastObj_)] = std::move(text);
        lastObj_ = -1;
        break;
      }
      case kNote: {
        if (v8_) {
          if (n < 8) break;
          Comment c;
          c.row = U16(d);
          c.col = U16(d + 2);
          if (n > 8) readString(d + 8, n - 8, c.author);
          auto it = objText_.find(U16(d + 6));
          if (it != objText_.end()) c.text = it->second;
          sheet_.comments.push_back(std::move(c));
        } else {
          // BIFF5: the text is in the record, longer texts go on in records with row 0xFFFF.
          if (n < 6) break;
          std::string text;
          codePage_.append(text, d + 6, std::min<size_t>(U16(d + 4), n - 6));
          if (U16(d) == 0xFFFF) {
            if (!sheet_.comments.empty()) sheet_.comments.back().text += text;
          } else {
            Comment c;
            c.row = U16(d);
            c.col = U16(d + 2);
            c.text = std::move(text);
            sheet_.comments.push_back(std::move(c));
          }
        }
        break;
      }
      default:
        break;
    }
  }
  settle();
  b_.finish();
  std::erase_if(sheet_.links, [](const Hyperlink& l) {
    return l.target.empty() && l.location.empty() && l.tooltip.empty() && l.display.empty();
  });
  for (auto& c : sheet_.comments) {
    // Excel shows a note's text with LF line breaks; the file may have CR LF or CR.
    std::string& t = c.text;
    std::string o;
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i] == '\r') {
        o += '\n';
        if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
      } else {
        o += t[i];
      }
    }
    t.swap(o);
  }
}

// A row's own height, format and visibility; the same layout in BIFF5 and BIFF8. Only what
// differs from a plain row is kept: a height set by hand or unlike the sheet's default (an
// automatic height follows the row's content), a format, hiding.
void SheetLoader::rowRecord(const uint8_t* d, size_t n) {
  if (n < 16) return;
  uint16_t height = U16(d + 6) & 0x7FFF;
  uint32_t flags = U32(d + 12);
  RowInfo info;
  info.row = U16(d);
  info.hidden = flags & 0x20;
  info.hasStyle = flags & 0x80;
  info.style = info.hasStyle ? style(static_cast<uint16_t>((flags >> 16) & 0x0FFF)) : 0;
  if ((flags & 0x40) || (defaultHeight_ >= 0 && height != defaultHeight_)) info.height = height / 20.0;
  if (info.hasStyle || info.hidden || info.height >= 0) sheet_.rowInfo.push_back(info);
}

// A run of columns: width in 1/256 of a character (the unit of an .xlsx <col width>), format,
// hidden flag.
void SheetLoader::colInfo(const uint8_t* d, size_t n) {
  if (n < 10) return;
  uint16_t first = U16(d), last = U16(d + 2);
  if (first > last || first >= kMaxCols) return;
  ColInfo c;
  c.first = first;
  c.last = std::min<int32_t>(last, kMaxCols - 1);
  c.width = U16(d + 4) / 256.0;
  c.style = style(U16(d + 6));
  c.hasStyle = c.style != 0;
  c.hidden = U16(d + 8) & 1;
  sheet_.colInfo.push_back(c);
}

void SheetLoader::formula(const uint8_t* d, size_t n) {
  stringFormula_ = -1;
  lastFormula_ = UINT32_MAX;
  if (n < 22) return;
  lastFormula_ = Key(U16(d), U16(d + 2));
  uint16_t row = U16(d), col = U16(d + 2);
  if (col >= kMaxCols) return;
  Formula f;
  // The last result: a number, or a type byte and the value when the last two bytes are 0xFFFF.
  const uint8_t* res = d + 6;
  CachedResult r{CachedKind::Number, F64(res), ErrorCode::NA, {}};
  bool stringResult = false;
  if (U16(res + 6) == 0xFFFF) {
    switch (res[0]) {
      case 0: r = {CachedKind::String, 0, ErrorCode::NA, {}}; stringResult = true; break;  // a STRING record follows
      case 1: r = {CachedKind::Bool, res[2] ? 1.0 : 0.0, ErrorCode::NA, {}}; break;
      case 2: r = {CachedKind::Error, 0, biff::ErrorFromBiff(res[2]), {}}; break;
      case 3: r = {CachedKind::String, 0, ErrorCode::NA, {}}; break;  // the empty string
      default: r = {}; break;
    }
  }
  size_t cce = U16(d + 20);
  if (cce > n - 22) {
    f.valueOnly = true;
  } else if (cce >= 5 && (d[22] == 0x01 || d[22] == 0x02)) {
    pending_.push_back(Pending{b_.count(), U16(d + 23), U16(d + 25), d[22] == 0x02});
  } else if (!v8_) {
    f.valueOnly = true;  // BIFF5 tokens: only the result is taken
  } else {
    std::string_view rgce(reinterpret_cast<const char*>(d + 22), cce);
    std::string_view extra(reinterpret_cast<const char*>(d + 22 + cce), n - 22 - cce);
    if (!formulas_.DecompileBiff8(rgce, extra, row, col, links_, f.text)) {
      f.valueOnly = true;
      f.text.clear();
    }
  }
  if (stringResult) stringFormula_ = static_cast<int64_t>(b_.count());
  b_.add(b_.formula(std::move(f), r), row, col, style(U16(d + 4)));
}

// A formula cell whose text lies elsewhere: in a shared formula, or an array formula (whose
// cells other than the first, like those of a data table, stand for their results only: an
// .xlsx stores those as plain values).
void SheetLoader::settle() {
  for (const Pending& p : pending_) {
    const Cell& c = b_.cell(p.cell);
    if (p.table || !v8_) {
      if (p.table) b_.toValue(p.cell);
      else b_.formulaOf(p.cell).valueOnly = true;
      continue;
    }
    Formula& f = b_.formulaOf(p.cell);
    uint32_t key = Key(p.expRow, p.expCol);
    if (auto it = arrays_.find(key); it != arrays_.end()) {
      const ArrayFormula* array = &it->second;
      if (static_cast<int32_t>(c.row) == array->range.r1 && c.col == array->range.c1) {
        f.kind = FormulaKind::Array;
        f.arrayRange = array->range;
        f.text = array->text;
        f.valueOnly = !array->ok;
        if (!array->ok) f.text.clear();
      } else {
        b_.toValue(p.cell);
      }
      continue;
    }
    auto it = shared_.find(key);
    const SharedFormula* shared = it != shared_.end() ? &it->second : nullptr;
    if (shared && formulas_.DecompileBiff8(shared->rgce, shared->extra, static_cast<int32_t>(c.row), c.col, links_, f.text))
      continue;
    f.text.clear();
    f.valueOnly = true;
  }
}

// A hyperlink: a web or mail address, a file, or a place in the workbook.
void SheetLoader::hlink(const uint8_t* d, size_t n) {
  if (n < 32) return;
  Hyperlink link;
  link.row = U16(d);
  link.col = U16(d + 4);
  link.rows = static_cast<int32_t>(U16(d + 2)) - link.row + 1;
  link.cols = static_cast<int32_t>(U16(d + 6)) - link.col + 1;
  if (link.rows < 1 || link.cols < 1 || link.col >= kMaxCols) return;
  size_t p = 8 + 16 + 4;  // the ref, a class id, the stream version
  uint32_t flags = U32(d + p);
  p += 4;
  auto text = [&](std::string& out) {
    if (n - p < 4) return false;
    uint32_t len = U32(d + p);
    p += 4;
    if (len > (n - p) / 2) return false;
    out.clear();
    AppendUtf16Le(out, d + p, len);
    if (auto z = out.find('\0'); z != std::string::npos) out.resize(z);
    p += size_t{len} * 2;
    return true;
  };
  std::string ignored;
  if ((flags & 0x10) && !text(link.display)) return;
  if ((flags & 0x80) && !text(ignored)) return;  // frame name
  if (flags & 0x01) {
    if (flags & 0x100) {
      if (!text(link.target)) return;
    } else {
      static const uint8_t kUrl[16] = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                                       0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
      static const uint8_t kFile[16] = {0x03, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
      if (n - p < 20) return;
      const uint8_t* clsid = d + p;
      p += 16;
      if (std::memcmp(clsid, kUrl, 16) == 0) {
        uint32_t len = U32(d + p);
        p += 4;
        if (len > n - p) return;
        AppendUtf16Le(link.target, d + p, len / 2);
        if (auto z = link.target.find('\0'); z != std::string::npos) link.target.resize(z);
        p += len;
      } else if (std::memcmp(clsid, kFile, 16) == 0) {
        if (n - p < 6) return;
        uint16_t up = U16(d + p);
        uint32_t ansiLen = U32(d + p + 2);
        p += 6;
        if (ansiLen > n - p) return;
        std::string ansi;
        codePage_.append(ansi, d + p, ansiLen);
        if (auto z = ansi.find('\0'); z != std::string::npos) ansi.resize(z);
        p += ansiLen;
        if (n - p < 28) return;
        p += 2 + 2 + 16 + 4;
        uint32_t extSize = U32(d + p);
        p += 4;
        std::string path = ansi;
        if (extSize > 0) {
          if (n - p < 6 || extSize > n - p) return;
          uint32_t bytes = U32(d + p);
          if (bytes > n - p - 6) return;
          path.clear();
          AppendUtf16Le(path, d + p + 6, bytes / 2);
          p += extSize;
        }
        std::string prefix;
        for (uint16_t i = 0; i < up && i < 64; ++i) prefix += "../";
        link.target = prefix + path;
      } else {
        return;  // another kind of moniker: nothing to show for it
      }
    }
  }
  if ((flags & 0x08) && !text(link.location)) return;
  // A link that leads nowhere is kept for its text and the tip that may follow.
  sheet_.links.push_back(std::move(link));
}

}  // namespace

void LoadSheet(Records& rec, uint64_t streamSize, SheetData& sheet, const BiffLinks& links,
               const FormulaServices& formulas, bool v8, const std::vector<uint32_t>& xfToStyle,
               CodePage& codePage, std::string what) {
  SheetLoader loader(sheet, links, formulas, v8, xfToStyle, codePage, std::move(what));
  loader.run(rec, streamSize);
}

}  // namespace corvane::xls
