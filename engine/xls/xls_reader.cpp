#include "engine/xls/xls_reader.h"

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
#include "engine/xls/xls_codepage.h"
#include "engine/xls/xls_formats.h"
#include "engine/xls/xls_records.h"
#include "engine/xls/xls_sheet.h"

namespace corvane {

namespace {

using namespace xls;
using biff::U16;
using biff::U32;

struct SheetEntry {
  SheetInfo info;
  uint32_t offset = 0;
};

enum class Biff { V5, V8 };

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
    if (!styles_) styles_ = BuildStyles(fonts_, formats_, xfs_, defaultXf_, palette_, date1904_);
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
          x.pattern = static_cast<uint8_t>((b2 >> 26) & 0x3F);
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
          x.bottomColor = static_cast<uint8_t>((a >> 25) & 0x7F);
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
        if (v8()) ReadXfExt(d, n, xfs_);
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

std::shared_ptr<SheetData> XlsReader::loadSheet(size_t index) {
  const SheetEntry& e = entries_.at(index);
  auto st = styles();
  auto sheet = std::make_shared<SheetData>();
  sheet->shared = sst_;
  Records rec(*src_, e.offset);
  if (!rec.next() || rec.type != kBof)
    damaged("the cells of sheet " + Quoted(e.info.name) + " are not where the workbook says");
  LoadSheet(rec, src_->size(), *sheet, links_, formulas_, v8(), xfToStyle_, codePage_, SheetOf(shown_, e.info.name));
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

namespace {

// A compound file or a bare BIFF stream: its bytes in `bytes` when `path` is null.
std::unique_ptr<WorkbookReader> OpenXlsFrom(const std::string* path, std::string bytes, const std::string& shown,
                                            const FormulaServices& formulas) {
  std::unique_ptr<Source> src;
  std::unique_ptr<CompoundFile> cfb;
  bool namedBook = false;
  if (path) {
    std::ifstream in(*path, std::ios::binary);
    if (!in) throw AutomationError(Quoted(shown) + " cannot be opened: it does not exist or you may not read it.");
    char sig[8] = {};
    in.read(sig, 8);
    if (in.gcount() < 8 || std::memcmp(sig, kCompoundFileSignature, 8) != 0) {
      // A bare BIFF stream: Excel 2 to 4 wrote those. Its header says which; only BIFF5
      // and later are read, and the first record is enough to tell.
      MemorySource probe(std::string(sig, static_cast<size_t>(in.gcount())));
      VersionOf(probe, shown, false);
      in.seekg(0, std::ios::end);
      auto size = static_cast<uint64_t>(in.tellg());
      if (size > (uint64_t{1} << 31)) throw AutomationError(Quoted(shown) + " is too large to be a workbook stream.");
      in.seekg(0);
      bytes.assign(static_cast<size_t>(size), '\0');
      in.read(bytes.data(), static_cast<std::streamsize>(size));
      src = std::make_unique<MemorySource>(std::move(bytes));
    }
  } else if (bytes.size() < 8 || std::memcmp(bytes.data(), kCompoundFileSignature, 8) != 0) {
    if (bytes.size() > (uint64_t{1} << 31)) throw AutomationError(Quoted(shown) + " is too large to be a workbook stream.");
    src = std::make_unique<MemorySource>(std::move(bytes));
  }
  if (!src) {
    cfb = path ? std::make_unique<CompoundFile>(*path, shown)
               : std::make_unique<CompoundFile>(CompoundFile::InMemory{}, std::move(bytes), shown);
    const CompoundFile::Entry* e = cfb->findStream("Workbook");
    if (!e) {
      e = cfb->findStream("Book");
      namedBook = e != nullptr;
    }
    if (!e) throw AutomationError(OtherDocument(*cfb, shown));
    src = std::make_unique<StreamSource>(cfb->open(*e));
  }
  Biff biff = VersionOf(*src, shown, namedBook);
  return std::make_unique<XlsReader>(std::move(cfb), std::move(src), biff, shown, formulas);
}

}  // namespace

std::unique_ptr<WorkbookReader> OpenXls(const std::string& path, const FormulaServices& formulas) {
  return OpenXlsFrom(&path, {}, path, formulas);
}

std::unique_ptr<WorkbookReader> OpenXlsBytes(std::string bytes, const std::string& shownName,
                                             const FormulaServices& formulas) {
  return OpenXlsFrom(nullptr, std::move(bytes), shownName, formulas);
}

}  // namespace corvane
