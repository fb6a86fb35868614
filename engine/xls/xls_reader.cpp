#include "engine/xls/xls_reader.h"

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <new>
#include <unordered_map>

#include "engine/containers/compound_file.h"
#include "engine/core/biff_common.h"
#include "engine/core/builtin_formats.h"
#include "engine/core/error.h"
#include "engine/core/formula_services.h"
#include "engine/core/palette.h"
#include "engine/core/sheet_builder.h"

namespace corvane {

namespace {

using biff::F64;
using biff::U16;
using biff::U32;

// Record types
enum : uint16_t {
  kFormula = 0x0006, kEof = 0x000A, kExternSheet = 0x0017, kName = 0x0018, kNote = 0x001C,
  kDateMode = 0x0022, kExternName = 0x0023, kFilePass = 0x002F, kFont = 0x0031, kContinue = 0x003C,
  kCodePage = 0x0042, kObj = 0x005D, kColInfo = 0x007D, kWsBool = 0x0081, kBoundSheet = 0x0085, kPalette = 0x0092,
  kMulRk = 0x00BD, kMulBlank = 0x00BE, kRString = 0x00D6, kXf = 0x00E0, kMergedCells = 0x00E5,
  kSst = 0x00FC, kLabelSst = 0x00FD, kSupBook = 0x01AE, kTxo = 0x01B6, kHlink = 0x01B8,
  kDimensions = 0x0200, kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205,
  kString = 0x0207, kRow = 0x0208, kArray = 0x0221, kDefaultRowHeight = 0x0225, kTable = 0x0236, kRk = 0x027E,
  kFormat = 0x041E,
  kShrFmla = 0x04BC, kHlinkTooltip = 0x0800, kBof = 0x0809, kXfExt = 0x087D,
  kBof2 = 0x0009, kBof3 = 0x0209, kBof4 = 0x0409,
};

// ---------------------------------------------------------------------------
// The workbook stream, from a compound file or from a bare file

class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t size() const = 0;
  virtual size_t read(uint64_t pos, char* out, size_t n) const = 0;
};

class StreamSource : public Source {
 public:
  explicit StreamSource(CompoundFile::Stream s) : s_(std::move(s)) {}
  uint64_t size() const override { return s_.size(); }
  size_t read(uint64_t pos, char* out, size_t n) const override { return s_.read(pos, out, n); }

 private:
  CompoundFile::Stream s_;
};

class MemorySource : public Source {
 public:
  explicit MemorySource(std::string bytes) : b_(std::move(bytes)) {}
  uint64_t size() const override { return b_.size(); }
  size_t read(uint64_t pos, char* out, size_t n) const override {
    if (pos >= b_.size()) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, b_.size() - pos));
    std::memcpy(out, b_.data() + pos, n);
    return n;
  }

 private:
  std::string b_;
};

// Records one after another: a 2-byte type, a 2-byte length, the body. The body of the
// current record stays valid until next() is called, even across peek().
class Records {
 public:
  Records(const Source& src, uint64_t start, size_t chunk = 256 * 1024)
      : src_(src), next_(start), chunk_(chunk), buf_(new uint8_t[chunk + 65540]) {}

  bool next() {
    pos_ = next_;
    if (!ensure(pos_, 4)) return false;
    const uint8_t* h = at(pos_);
    type = U16(h);
    len = U16(h + 2);
    if (!ensure(pos_, 4 + size_t{len})) return false;  // cut short: the stream ends here
    next_ = pos_ + 4 + len;
    return true;
  }
  // The type of the record after the current one, or -1 at the end.
  int peek() {
    uint64_t need = next_ - pos_ + 4;
    if (!ensure(pos_, static_cast<size_t>(need))) return -1;
    return U16(at(next_));
  }
  const uint8_t* data() const { return at(pos_) + 4; }
  uint64_t offset() const { return pos_; }

  uint16_t type = 0;
  uint16_t len = 0;

 private:
  const uint8_t* at(uint64_t p) const { return buf_.get() + (p - bufStart_); }
  // Makes [from, from + n) available in the buffer, reading from `from` when it is not.
  bool ensure(uint64_t from, size_t n) {
    if (from >= bufStart_ && from + n <= bufStart_ + bufLen_) return true;
    if (from + n > src_.size()) return false;
    size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n, chunk_), src_.size() - from));
    want = std::min(want, chunk_ + 65540);
    if (want < n) return false;
    bufLen_ = src_.read(from, reinterpret_cast<char*>(buf_.get()), want);
    bufStart_ = from;
    return bufLen_ >= n;
  }

  const Source& src_;
  uint64_t pos_ = 0, next_ = 0;
  size_t chunk_;
  std::unique_ptr<uint8_t[]> buf_;
  uint64_t bufStart_ = 0;
  size_t bufLen_ = 0;
};

// A record's body together with the CONTINUE records after it, and where each piece begins:
// characters of a string that run over into the next piece start there with a fresh flags byte.
struct Continued {
  std::string bytes;
  std::vector<size_t> ends;  // end offset of each piece

  void read(Records& rec) {
    bytes.assign(reinterpret_cast<const char*>(rec.data()), rec.len);
    ends.assign(1, bytes.size());
    while (rec.peek() == kContinue) {
      rec.next();
      bytes.append(reinterpret_cast<const char*>(rec.data()), rec.len);
      ends.push_back(bytes.size());
    }
  }
};

class PieceReader {
 public:
  explicit PieceReader(const Continued& c)
      : d_(reinterpret_cast<const uint8_t*>(c.bytes.data())), n_(c.bytes.size()), ends_(c.ends) {}

  size_t remaining() const { return n_ - pos_; }
  bool skip(size_t k) {
    if (k > n_ - pos_) return false;
    pos_ += k;
    return true;
  }
  bool u8(uint8_t& v) {
    if (pos_ >= n_) return false;
    v = d_[pos_++];
    return true;
  }
  bool u16(uint16_t& v) {
    if (n_ - pos_ < 2) return false;
    v = U16(d_ + pos_);
    pos_ += 2;
    return true;
  }
  bool u32(uint32_t& v) {
    if (n_ - pos_ < 4) return false;
    v = U32(d_ + pos_);
    pos_ += 4;
    return true;
  }
  // `cch` characters, compressed (Latin-1) or UTF-16 as `wide` says. Characters that run
  // over into the next piece start there with a flags byte that says which way the rest is
  // stored; so do characters whose string header ended exactly at the end of a piece.
  // (Headers are never split; rich-text runs and phonetic data continue without a flags byte.)
  bool chars(size_t cch, bool wide, std::string& out) {
    Utf16Decoder decoder;
    if (cch > 0 && atInnerBoundary()) wide = d_[pos_++] & 1;
    while (cch > 0) {
      size_t end = pieceEnd();
      size_t w = wide ? 2 : 1;
      size_t k = std::min(cch, (end - pos_) / w);
      if (wide) AppendUtf16Le(out, d_ + pos_, k, decoder);
      else biff::AppendLatin1(out, d_ + pos_, k);
      pos_ += k * w;
      cch -= k;
      if (cch == 0) break;
      // Into the next piece (a stray odd byte before the boundary is dropped).
      pos_ = end;
      if (pos_ >= n_) return false;
      wide = d_[pos_++] & 1;
    }
    decoder.finish(out);
    return true;
  }

 private:
  bool atInnerBoundary() {
    if (pos_ == 0 || pos_ >= n_) return false;
    pieceEnd();
    return piece_ > 0 && ends_[piece_ - 1] == pos_;
  }
  size_t pieceEnd() {
    while (piece_ < ends_.size() && ends_[piece_] <= pos_) ++piece_;
    return piece_ < ends_.size() ? ends_[piece_] : n_;
  }

  const uint8_t* d_;
  size_t n_;
  const std::vector<size_t>& ends_;
  size_t pos_ = 0, piece_ = 0;
};

// ---------------------------------------------------------------------------
// Text in a code page (BIFF5 and older store 8-bit text in the workbook's code page)

class CodePage {
 public:
  ~CodePage() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  void set(uint16_t cp) { cp_ = cp; }

  void append(std::string& out, const uint8_t* p, size_t n) {
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i) ascii = p[i] < 0x80;
    if (ascii) {
      out.append(reinterpret_cast<const char*>(p), n);
      return;
    }
    if (cp_ == 1252 || cp_ == 0x8001 || cp_ == 1200 || cp_ == 367 || cp_ == 0 || !open()) {
      for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
      }
      return;
    }
    std::string buf(n * 4 + 4, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    size_t inLeft = n;
    char* o = buf.data();
    size_t outLeft = buf.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      if (iconv(cd_, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
        if (outLeft < 3) break;
        // An unmappable byte becomes U+FFFD and the rest carries on.
        std::memcpy(o, "\xEF\xBF\xBD", 3);
        o += 3;
        outLeft -= 3;
        ++in;
        --inLeft;
      }
    }
    out.append(buf.data(), static_cast<size_t>(o - buf.data()));
  }

 private:
  bool open() {
    if (tried_ == cp_) return cd_ != reinterpret_cast<iconv_t>(-1);
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    tried_ = cp_;
    std::string name;
    switch (cp_) {
      case 10000:
      case 0x8000: name = "MACINTOSH"; break;
      case 936: name = "GBK"; break;
      case 950: name = "BIG5"; break;
      default: name = "CP" + std::to_string(cp_);
    }
    cd_ = iconv_open("UTF-8", name.c_str());
    return cd_ != reinterpret_cast<iconv_t>(-1);
  }

  static constexpr uint16_t kCp1252High[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

  uint16_t cp_ = 1252;
  int tried_ = -1;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

// ---------------------------------------------------------------------------
// Formats as stored

struct RawFont {
  double size = 10;
  bool bold = false, italic = false, strike = false;
  Underline underline = Underline::None;
  uint16_t color = 0x7FFF;
  std::string name = "Arial";
};

// A gradient fill as an XFEXT record gives it (Excel 2007 and later), its colours resolved
// once the palette is known.
struct RawGradient {
  struct Stop {
    uint16_t kind;   // 1 palette index, 2 RGB, 3 theme colour; else automatic
    uint32_t value;
    double position, tint;
  };
  Gradient::Type type = Gradient::Type::Linear;
  double degree = 0, left = 0, right = 0, top = 0, bottom = 0;
  std::vector<Stop> stops;
};

struct RawXf {
  uint16_t font = 0, fmt = 0;
  bool style = false, locked = true, hidden = false;
  uint8_t hAlign = 0, vAlign = 2, rotation = 0, indent = 0;
  bool wrap = false, shrink = false;
  uint8_t left = 0, right = 0, top = 0, bottom = 0, diagonal = 0;
  uint8_t leftColor = 64, rightColor = 64, topColor = 64, bottomColor = 64, diagonalColor = 64;
  bool diagonalDown = false, diagonalUp = false;
  uint8_t pattern = 0, fg = 64, bg = 65;
  RawGradient gradient;
};

// ---------------------------------------------------------------------------

struct SheetEntry {
  SheetInfo info;
  uint32_t offset = 0;
};

enum class Biff { V5, V8 };

constexpr uint64_t kMaxReservedCells = uint64_t(1) << 22;

class XlsReader : public WorkbookReader {
 public:
  XlsReader(std::unique_ptr<CompoundFile> cfb, std::unique_ptr<Source> src, Biff biff, const std::string& shown,
            const FormulaServices& formulas)
      : cfb_(std::move(cfb)), src_(std::move(src)), biff_(biff), shown_(shown), formulas_(formulas) {
    scanGlobals();
  }

  const std::vector<SheetInfo>& sheets() const override { return infos_; }

  std::shared_ptr<const StyleTable> styles() override {
    readGlobals();
    if (!styles_) styles_ = buildStyles();
    return styles_;
  }

  std::shared_ptr<SheetData> loadSheet(size_t index) override;

 private:
  [[noreturn]] void damaged(const std::string& why) const {
    throw AutomationError(Quoted(shown_) + " is damaged: " + why + ".");
  }

  bool v8() const { return biff_ == Biff::V8; }

  // A string with a 1- or 2-byte character count; BIFF8 adds a flags byte (UTF-16 or
  // compressed, and rich-text and phonetic parts to step over), BIFF5 is in the code page.
  // Returns the bytes used, or 0 when the string does not fit.
  size_t str(const uint8_t* p, size_t avail, bool longCount, std::string& out) {
    size_t hdr = longCount ? 2 : 1;
    if (avail < hdr) return 0;
    size_t cch = longCount ? U16(p) : p[0];
    if (!v8()) {
      if (avail - hdr < cch) cch = avail - hdr;  // tolerated: cut to the record
      codePage_.append(out, p + hdr, cch);
      return hdr + cch;
    }
    if (avail < hdr + 1) return cch == 0 ? hdr : 0;
    uint8_t flags = p[hdr];
    size_t at = hdr + 1;
    size_t runs = 0, ext = 0;
    if (flags & 0x08) {
      if (avail < at + 2) return 0;
      runs = U16(p + at);
      at += 2;
    }
    if (flags & 0x04) {
      if (avail < at + 4) return 0;
      ext = U32(p + at);
      at += 4;
    }
    size_t bytes = (flags & 1) ? cch * 2 : cch;
    if (avail - at < bytes) {
      cch = (flags & 1) ? (avail - at) / 2 : avail - at;  // tolerated: cut to the record
      bytes = (flags & 1) ? cch * 2 : cch;
    }
    if (flags & 1) AppendUtf16Le(out, p + at, cch);
    else biff::AppendLatin1(out, p + at, cch);
    at += bytes;
    uint64_t tail = static_cast<uint64_t>(runs) * 4 + ext;
    return static_cast<size_t>(std::min<uint64_t>(avail, at + tail));
  }

  void scanGlobals();
  void readGlobals();
  void readSst(Records& rec);
  std::shared_ptr<const StyleTable> buildStyles() const;
  Rgb color(uint16_t icv) const;
  void xfExt(const uint8_t* d, size_t n);

  std::unique_ptr<CompoundFile> cfb_;
  std::unique_ptr<Source> src_;
  Biff biff_;
  std::string shown_;
  const FormulaServices& formulas_;
  CodePage codePage_;

  std::vector<SheetEntry> entries_;  // worksheets, charts, macro and dialog sheets
  std::vector<SheetInfo> infos_;
  bool date1904_ = false;

  bool globalsRead_ = false;
  BiffLinks links_;
  std::shared_ptr<StringPool> sst_;
  std::vector<RawFont> fonts_;
  std::unordered_map<uint16_t, std::string> formats_;
  std::vector<RawXf> xfs_;
  std::vector<uint32_t> xfToStyle_;
  size_t defaultXf_ = 0;
  Rgb palette_[64] = {};
  std::shared_ptr<const StyleTable> styles_;
};

// Reads what the sheet list needs: sheet names, kinds and visibility, nothing else.
void XlsReader::scanGlobals() {
  Records rec(*src_, 0, 64 * 1024);
  if (!rec.next() || rec.type != kBof) damaged("its workbook stream does not begin with a workbook header");
  if (rec.len >= 4 && U16(rec.data() + 2) != 0x0005) {
    throw AutomationError(Quoted(shown_) + " holds a single sheet without a workbook around it, which Corvane cannot read. "
                          "Open it in your spreadsheet program and save it as a current workbook.");
  }
  std::vector<std::pair<SheetEntry, std::string>> raw;  // BIFF5 names wait for the code page
  while (rec.next()) {
    const uint8_t* d = rec.data();
    switch (rec.type) {
      case kEof:
        goto done;
      case kFilePass:
        throw AutomationError(Quoted(shown_) +
                              " is password-protected. Open it in your spreadsheet program, remove the password, and try again.");
      case kCodePage:
        if (rec.len >= 2) codePage_.set(U16(d));
        break;
      case kDateMode:
        if (rec.len >= 2) date1904_ = U16(d) == 1;
        break;
      case kBoundSheet: {
        if (rec.len < 7) damaged("a sheet entry is cut short");
        SheetEntry e;
        e.offset = U32(d);
        uint8_t state = d[4] & 3, type = d[5];
        e.info.visibility = state == 1 ? SheetVisibility::Hidden : state == 2 ? SheetVisibility::VeryHidden
                                                                               : SheetVisibility::Visible;
        // 0 is a worksheet (or a dialog sheet, see below); types no sheet of ours matches are
        // listed without being read as cells.
        if (type == 1) e.info.kind = SheetKind::Macrosheet;
        else if (type == 2) e.info.kind = SheetKind::Chartsheet;
        else if (type != 0) e.info.kind = SheetKind::Dialogsheet;
        if (type == 6) e.offset = UINT32_MAX;  // a Visual Basic module of Excel 5: not a sheet
        raw.emplace_back(e, std::string(reinterpret_cast<const char*>(d + 6), rec.len - 6));
        break;
      }
      default:
        break;
    }
  }
done:
  for (auto& [e, bytes] : raw) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    std::string name;
    str(p, bytes.size(), false, name);
    links_.sheetNames.push_back(name);
    if (e.offset == UINT32_MAX) continue;
    e.info.name = std::move(name);
    // A dialog sheet is a worksheet whose WSBOOL record says so: a look at the start of its substream.
    if (e.info.kind == SheetKind::Worksheet && e.offset < src_->size()) {
      Records s(*src_, e.offset, 2048);
      for (int i = 0; i < 64 && s.next(); ++i) {
        if (s.type == kWsBool) {
          if (s.len >= 2 && (U16(s.data()) & 0x0010)) e.info.kind = SheetKind::Dialogsheet;
          break;
        }
        if (s.type == kDimensions || s.type == kEof) break;
      }
    }
    infos_.push_back(e.info);
    entries_.push_back(std::move(e));
  }
}

// Everything else of the globals: formats, shared strings, names and links.
void XlsReader::readGlobals() {
  if (globalsRead_) return;
  globalsRead_ = true;
  sst_ = std::make_shared<StringPool>();
  for (int i = 0; i < 64; ++i) palette_[i] = DefaultPaletteColor(i);
  Records rec(*src_, 0);
  rec.next();  // the BOF, checked when the file was opened
  while (rec.next()) {
    const uint8_t* d = rec.data();
    const size_t n = rec.len;
    switch (rec.type) {
      case kEof:
        goto done;
      case kFont: {
        if (n < 14) break;
        RawFont f;
        f.size = U16(d) / 20.0;
        if (f.size <= 0) f.size = 10;
        f.italic = U16(d + 2) & 0x02;
        f.strike = U16(d + 2) & 0x08;
        f.color = U16(d + 4);
        f.bold = U16(d + 6) >= 700;
        switch (d[10]) {
          case 1: f.underline = Underline::Single; break;
          case 2: f.underline = Underline::Double; break;
          case 0x21: f.underline = Underline::SingleAccounting; break;
          case 0x22: f.underline = Underline::DoubleAccounting; break;
          default: break;
        }
        std::string name;
        if (str(d + 14, n - 14, false, name) && !name.empty()) f.name = std::move(name);
        if (fonts_.size() < 65536) fonts_.push_back(std::move(f));
        break;
      }
      case kFormat: {
        if (n < 3) break;
        std::string code;
        if (str(d + 2, n - 2, v8(), code)) formats_[U16(d)] = std::move(code);
        break;
      }
      case kXf: {
        RawXf x;
        if (n < (v8() ? 20u : 16u)) break;
        // The same first eight bytes in BIFF8 and BIFF5.
        x.font = U16(d);
        x.fmt = U16(d + 2);
        uint16_t flags = U16(d + 4);
        x.locked = flags & 1;
        x.hidden = flags & 2;
        x.style = flags & 4;
        x.hAlign = d[6] & 7;
        x.wrap = d[6] & 8;
        x.vAlign = (d[6] >> 4) & 7;
        if (v8()) {
          x.rotation = d[7];
          x.indent = d[8] & 0x0F;
          x.shrink = d[8] & 0x10;
          uint32_t b1 = U32(d + 10), b2 = U32(d + 14);
          x.left = b1 & 0x0F;
          x.right = (b1 >> 4) & 0x0F;
          x.top = (b1 >> 8) & 0x0F;
          x.bottom = (b1 >> 12) & 0x0F;
          x.leftColor = (b1 >> 16) & 0x7F;
          x.rightColor = (b1 >> 23) & 0x7F;
          x.diagonalDown = b1 & 0x40000000u;
          x.diagonalUp = b1 & 0x80000000u;
          x.topColor = b2 & 0x7F;
          x.bottomColor = (b2 >> 7) & 0x7F;
          x.diagonalColor = (b2 >> 14) & 0x7F;
          x.diagonal = (b2 >> 21) & 0x0F;
          x.pattern = (b2 >> 26) & 0x3F;
          uint16_t fill = U16(d + 18);
          x.fg = fill & 0x7F;
          x.bg = (fill >> 7) & 0x7F;
        } else {
          static constexpr uint8_t kOrientation[4] = {0, 255, 90, 180};
          x.rotation = kOrientation[d[7] & 3];
          uint32_t a = U32(d + 8), b = U32(d + 12);
          x.fg = a & 0x7F;
          x.bg = (a >> 7) & 0x7F;
          x.pattern = (a >> 16) & 0x3F;
          x.bottom = (a >> 22) & 7;
          x.bottomColor = (a >> 25) & 0x7F;
          x.top = b & 7;
          x.left = (b >> 3) & 7;
          x.right = (b >> 6) & 7;
          x.topColor = (b >> 9) & 0x7F;
          x.leftColor = (b >> 16) & 0x7F;
          x.rightColor = (b >> 23) & 0x7F;
        }
        if (xfs_.size() < 65536) xfs_.push_back(x);
        break;
      }
      case kXfExt:
        if (v8()) xfExt(d, n);
        break;
      case kPalette: {
        if (n < 2) break;
        size_t count = std::min<size_t>(U16(d), std::min<size_t>(56, (n - 2) / 4));
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* c = d + 2 + 4 * i;
          palette_[8 + i] = (Rgb{c[0]} << 16) | (Rgb{c[1]} << 8) | c[2];
        }
        break;
      }
      case kSst:
        if (v8()) readSst(rec);
        break;
      case kSupBook: {
        if (!v8() || n < 4) break;
        BiffLinks::SupBook sb;
        uint16_t cch = U16(d + 2);
        sb.kind = cch == 0x0401 ? BiffLinks::Book::Self : cch == 0x3A01 ? BiffLinks::Book::AddIn : BiffLinks::Book::External;
        if (links_.supBooks.size() < 65536) links_.supBooks.push_back(std::move(sb));
        break;
      }
      case kExternName: {
        if (!v8() || links_.supBooks.empty() || n < 8) break;
        std::string name;
        str(d + 6, n - 6, false, name);
        auto& names = links_.supBooks.back().externNames;
        if (names.size() < 65536) names.push_back(std::move(name));
        break;
      }
      case kExternSheet: {
        if (!v8() || n < 2) break;
        size_t count = std::min<size_t>(U16(d), (n - 2) / 6);
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* x = d + 2 + 6 * i;
          links_.externSheets.push_back({U16(x), U16(x + 2), U16(x + 4)});
        }
        break;
      }
      case kName: {
        std::string name;
        if (v8() && n >= 15) {
          uint16_t flags = U16(d);
          size_t cch = d[3];
          std::string raw;
          if (cch > 0) {
            bool wide = d[14] & 1;
            size_t bytes = wide ? cch * 2 : cch;
            if (n - 15 >= bytes) {
              if (wide) AppendUtf16Le(raw, d + 15, cch);
              else biff::AppendLatin1(raw, d + 15, cch);
            }
          }
          if (flags & 0x20) {  // built-in: one character codes it
            static const char* const kBuiltin[] = {"Consolidate_Area", "Auto_Open", "Auto_Close", "Extract",
                                                   "Database", "Criteria", "Print_Area", "Print_Titles",
                                                   "Recorder", "Data_Form", "Auto_Activate", "Auto_Deactivate",
                                                   "Sheet_Title", "_FilterDatabase"};
            unsigned code = raw.empty() ? 0xFF : static_cast<unsigned char>(raw[0]);
            if (code < std::size(kBuiltin)) name = std::string("_xlnm.") + kBuiltin[code];
          } else {
            name = std::move(raw);
          }
        }
        if (links_.names.size() < 65536) links_.names.push_back(std::move(name));
        break;
      }
      default:
        break;
    }
  }
done:
  // Cell formats: index 0 of the style table is the workbook's default cell format, the
  // first cell format Excel writes (XF 15) or, from other writers, their first one.
  size_t def = 0;
  if (xfs_.size() > 15 && !xfs_[15].style) def = 15;
  else
    for (size_t i = 0; i < xfs_.size(); ++i)
      if (!xfs_[i].style) {
        def = i;
        break;
      }
  xfToStyle_.resize(xfs_.size());
  for (size_t i = 0; i < xfs_.size(); ++i) xfToStyle_[i] = i == def ? 0 : static_cast<uint32_t>(i + 1);
  defaultXf_ = def;
}


void XlsReader::readSst(Records& rec) {
  Continued c;
  c.read(rec);
  PieceReader r(c);
  uint32_t total = 0, unique = 0;
  if (!r.u32(total) || !r.u32(unique)) return;
  // The counts are claims: every string takes at least three bytes.
  sst_->reserve(std::min<size_t>(unique, r.remaining() / 3), r.remaining());
  std::string s;
  for (uint32_t i = 0; i < unique; ++i) {
    uint16_t cch = 0, runs = 0;
    uint8_t flags = 0;
    uint32_t ext = 0;
    if (!r.u16(cch) || !r.u8(flags)) break;
    if ((flags & 0x08) && !r.u16(runs)) break;
    if ((flags & 0x04) && !r.u32(ext)) break;
    s.clear();
    if (!r.chars(cch, flags & 1, s)) {
      sst_->add(s);
      break;
    }
    sst_->add(s);
    // Rich-text runs and the phonetic block carry no characters of the string.
    if (!r.skip(size_t{runs} * 4) || !r.skip(ext)) break;
  }
}

// XFEXT: properties later versions added to a cell format. Only the gradient fill is taken:
// the rest (theme colours of borders and fonts) the XF itself says closely enough.
void XlsReader::xfExt(const uint8_t* d, size_t n) {
  if (n < 20) return;
  uint16_t ixfe = U16(d + 14);
  if (ixfe >= xfs_.size()) return;
  size_t p = 20;
  for (uint16_t k = U16(d + 18); k > 0 && n - p >= 4; --k) {
    uint16_t type = U16(d + p), cb = U16(d + p + 2);
    if (cb < 4 || cb > n - p) return;
    const uint8_t* g = d + p + 4;
    size_t len = cb - 4u;
    // XFExtGradient: type, angle, the four edges of the inner rectangle, then the stops.
    if (type == 0x0006 && len >= 48) {
      RawGradient& out = xfs_[ixfe].gradient;
      out.type = U32(g) == 1 ? Gradient::Type::Path : Gradient::Type::Linear;
      out.degree = F64(g + 4);
      out.left = F64(g + 12);
      out.right = F64(g + 20);
      out.top = F64(g + 28);
      out.bottom = F64(g + 36);
      size_t count = std::min<size_t>(U32(g + 44), (len - 48) / 22);
      out.stops.clear();
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* st = g + 48 + 22 * i;
        out.stops.push_back({U16(st), U32(st + 2), F64(st + 6), F64(st + 14)});
      }
    }
    p += cb;
  }
}

Rgb XlsReader::color(uint16_t icv) const {
  // 64 and above are the system's window colours and "automatic": left to the application.
  if (icv >= 64) return kAutoColor;
  return palette_[icv];
}

std::shared_ptr<const StyleTable> XlsReader::buildStyles() const {
  auto table = std::make_shared<StyleTable>();
  table->date1904 = date1904_;
  auto style = [&](const RawXf& x) {
    Style s;
    auto f = formats_.find(x.fmt);
    s.numFmt = f != formats_.end() ? f->second : std::string(BuiltinNumFmt(x.fmt));
    size_t fi = x.font >= 4 ? x.font - 1u : x.font;  // font 4 is never written
    RawFont font = fi < fonts_.size() ? fonts_[fi] : fonts_.empty() ? RawFont{} : fonts_[0];
    s.fontName = font.name;
    s.fontSize = font.size;
    s.bold = font.bold;
    s.italic = font.italic;
    s.strike = font.strike;
    s.underline = font.underline;
    s.fontColor = color(font.color);
    s.pattern = x.pattern <= static_cast<uint8_t>(FillPattern::Gray0625) ? static_cast<FillPattern>(x.pattern)
                                                                          : FillPattern::None;
    if (s.pattern != FillPattern::None) {
      s.fillFg = color(x.fg);
      s.fillBg = color(x.bg);
    }
    if (!x.gradient.stops.empty()) {
      // The gradient is the fill; the XF's own fill is what older versions show instead.
      const RawGradient& rg = x.gradient;
      s.pattern = FillPattern::None;
      s.fillFg = s.fillBg = kAutoColor;
      s.gradient.type = rg.type;
      auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
      if (rg.type == Gradient::Type::Linear) {
        s.gradient.degree = std::isfinite(rg.degree) ? rg.degree : 0;
      } else {
        s.gradient.left = unit(rg.left);
        s.gradient.right = unit(rg.right);
        s.gradient.top = unit(rg.top);
        s.gradient.bottom = unit(rg.bottom);
      }
      for (const RawGradient::Stop& st : rg.stops) {
        Rgb c = kAutoColor;
        if (st.kind == 1) c = color(static_cast<uint16_t>(st.value));
        else if (st.kind == 2) c = ((st.value & 0xFF) << 16) | (st.value & 0xFF00) | ((st.value >> 16) & 0xFF);
        else if (st.kind == 3) c = OfficeThemeColor(static_cast<int>(st.value));
        if (c != kAutoColor && std::isfinite(st.tint) && st.tint != 0) c = Tinted(c, st.tint);
        s.gradient.stops.push_back({unit(st.position), c});
      }
    }
    auto side = [&](uint8_t dg, uint8_t icv) {
      BorderSide b;
      if (dg > 0 && dg <= static_cast<uint8_t>(BorderStyle::SlantDashDot)) {
        b.style = static_cast<BorderStyle>(dg);
        b.color = color(icv);
      }
      return b;
    };
    s.left = side(x.left, x.leftColor);
    s.right = side(x.right, x.rightColor);
    s.top = side(x.top, x.topColor);
    s.bottom = side(x.bottom, x.bottomColor);
    if (x.diagonalUp || x.diagonalDown) {
      s.diagonal = side(x.diagonal, x.diagonalColor);
      s.diagonalUp = x.diagonalUp && s.diagonal.style != BorderStyle::None;
      s.diagonalDown = x.diagonalDown && s.diagonal.style != BorderStyle::None;
    }
    s.hAlign = x.hAlign <= 7 ? static_cast<HAlign>(x.hAlign) : HAlign::General;
    static constexpr VAlign kV[5] = {VAlign::Top, VAlign::Center, VAlign::Bottom, VAlign::Justify, VAlign::Distributed};
    s.vAlign = x.vAlign < 5 ? kV[x.vAlign] : VAlign::Bottom;
    s.wrap = x.wrap;
    s.shrink = x.shrink;
    s.indent = x.indent;
    s.rotation = (x.rotation <= 180 || x.rotation == 255) ? x.rotation : 0;
    s.locked = x.locked;
    s.hidden = x.hidden;
    return s;
  };
  if (xfs_.empty()) {
    table->styles.push_back(style(RawXf{}));
    return table;
  }
  table->styles.reserve(xfs_.size() + 1);
  table->styles.push_back(style(xfs_[defaultXf_]));
  for (const RawXf& x : xfs_) table->styles.push_back(style(x));
  return table;
}

// ---------------------------------------------------------------------------
// One sheet's substream

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
        while (left > 0 && rec.peek() == kContinue) {
          rec.next();
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

std::shared_ptr<SheetData> XlsReader::loadSheet(size_t index) {
  const SheetEntry& e = entries_.at(index);
  auto st = styles();
  auto sheet = std::make_shared<SheetData>();
  sheet->shared = sst_;
  Records rec(*src_, e.offset);
  if (!rec.next() || rec.type != kBof)
    damaged("the cells of sheet " + Quoted(e.info.name) + " are not where the workbook says");
  SheetLoader loader(*sheet, links_, formulas_, v8(), xfToStyle_, codePage_, SheetOf(shown_, e.info.name));
  loader.run(rec, src_->size());
  return sheet;
}

// What a compound file that holds no workbook is, as far as its streams tell.
std::string OtherDocument(const CompoundFile& cfb, const std::string& path) {
  if (cfb.findStream("WordDocument")) return Quoted(path) + " is a Word document, not a workbook.";
  if (cfb.findStream("PowerPoint Document")) return Quoted(path) + " is a PowerPoint presentation, not a workbook.";
  if (cfb.findStream("VisioDocument")) return Quoted(path) + " is a Visio drawing, not a workbook.";
  if (cfb.findStream("__properties_version1.0")) return Quoted(path) + " is an Outlook message, not a workbook.";
  return Quoted(path) + " is not a workbook.";
}

[[noreturn]] void RefuseOldBiff(const std::string& path, uint16_t bof, uint16_t dt) {
  std::string what;
  switch (bof) {
    case kBof2: what = "an Excel 2.x worksheet (BIFF2)"; break;
    case kBof3: what = "an Excel 3.0 worksheet (BIFF3)"; break;
    default: what = dt == 0x0100 ? "an Excel 4.0 workbook (BIFF4)" : "an Excel 4.0 worksheet (BIFF4)"; break;
  }
  if (bof != kBof2 && dt == 0x0040) what.replace(what.find("worksheet"), 9, "macro sheet");
  if (bof != kBof2 && dt == 0x0020) what.replace(what.find("worksheet"), 9, "chart");
  throw AutomationError(Quoted(path) + " is " + what +
                        ", which Corvane cannot read. Open it in your spreadsheet program and save it as a current workbook.");
}

// BIFF5 or BIFF8, from the first BOF record; older versions are refused.
Biff VersionOf(const Source& src, const std::string& path, bool namedBook) {
  uint8_t h[8] = {};
  if (src.read(0, reinterpret_cast<char*>(h), 8) < 4) throw AutomationError(Quoted(path) + " is damaged: its workbook stream is empty.");
  uint16_t type = U16(h), len = U16(h + 2);
  if (type == kBof2 || type == kBof3 || type == kBof4) RefuseOldBiff(path, type, len >= 4 ? U16(h + 6) : 0);
  if (type != kBof) throw AutomationError(Quoted(path) + " is damaged: its workbook stream does not begin with a workbook header.");
  uint16_t version = len >= 2 ? U16(h + 4) : 0;
  if (version == 0x0600) return Biff::V8;
  if (version == 0x0500) return Biff::V5;
  if (version == 0x0400 || version == 0x0300 || version == 0x0200)
    RefuseOldBiff(path, version == 0x0400 ? kBof4 : version == 0x0300 ? kBof3 : kBof2, len >= 4 ? U16(h + 6) : 0);
  return namedBook ? Biff::V5 : Biff::V8;
}

}  // namespace

std::unique_ptr<WorkbookReader> OpenXls(const std::string& path, const FormulaServices& formulas) {
  std::unique_ptr<Source> src;
  std::unique_ptr<CompoundFile> cfb;
  bool namedBook = false;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw AutomationError(Quoted(path) + " cannot be opened: it does not exist or you may not read it.");
    char sig[8] = {};
    in.read(sig, 8);
    static const unsigned char kOle[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (in.gcount() < 8 || std::memcmp(sig, kOle, 8) != 0) {
      // A bare BIFF stream: Excel 2 to 4 wrote those. Its header says which; only BIFF5
      // and later are read, and the first record is enough to tell.
      std::string head(sig, static_cast<size_t>(in.gcount()));
      MemorySource probe(head);
      VersionOf(probe, path, false);
      in.seekg(0, std::ios::end);
      auto size = static_cast<uint64_t>(in.tellg());
      if (size > (uint64_t{1} << 31)) throw AutomationError(Quoted(path) + " is too large to be a workbook stream.");
      in.seekg(0);
      std::string bytes(static_cast<size_t>(size), '\0');
      in.read(bytes.data(), static_cast<std::streamsize>(size));
      src = std::make_unique<MemorySource>(std::move(bytes));
    }
  }
  if (!src) {
    cfb = std::make_unique<CompoundFile>(path, path);
    const CompoundFile::Entry* e = cfb->findStream("Workbook");
    if (!e) {
      e = cfb->findStream("Book");
      namedBook = e != nullptr;
    }
    if (!e) throw AutomationError(OtherDocument(*cfb, path));
    src = std::make_unique<StreamSource>(cfb->open(*e));
  }
  Biff biff = VersionOf(*src, path, namedBook);
  return std::make_unique<XlsReader>(std::move(cfb), std::move(src), biff, path, formulas);
}

}  // namespace corvane
