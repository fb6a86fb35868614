#include "engine/writing/sheet_part.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "engine/core/cellref.h"
#include "engine/writing/parallel_deflate.h"
#include "engine/writing/xml_out.h"

namespace corvane {

namespace {

constexpr uint32_t kUnknown = UINT32_MAX;
constexpr size_t kCellRoom = 160;           // the most a cell's XML takes besides its texts
constexpr size_t kMaxCellUnits = 32767;     // a cell's text, in UTF-16 units
constexpr size_t kMaxTooltipUnits = 255;    // what the spreadsheet lets a link's tip hold
constexpr std::string_view kDefaultColWidth = "9.140625";  // 64 pixels in Calibri 11
const Rect kSheet{0, 0, kMaxRows - 1, kMaxCols - 1};

// Every column's letters, made once.
struct ColumnLetters {
  char text[kMaxCols][4];
  uint8_t len[kMaxCols];
  ColumnLetters() {
    std::string s;
    for (int32_t c = 0; c < kMaxCols; ++c) {
      s.clear();
      AppendColumnName(s, c);
      std::memcpy(text[c], s.data(), s.size());
      len[c] = static_cast<uint8_t>(s.size());
    }
  }
};
const ColumnLetters& Letters() {
  static const ColumnLetters letters;
  return letters;
}

char* Put(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

bool Before(const Cell& a, const Cell& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; }

// A hyperlink as written: its cells clamped to the sheet.
struct LinkToWrite {
  const Hyperlink* link;
  Rect ref;
};

std::vector<LinkToWrite> LinksToWrite(const SheetData& d) {
  std::vector<LinkToWrite> out;
  for (const Hyperlink& l : d.links) {
    if (!kSheet.contains(l.row, l.col)) continue;
    int64_t r2 = std::min<int64_t>(kMaxRows - 1, int64_t{l.row} + std::max(1, l.rows) - 1);
    int64_t c2 = std::min<int64_t>(kMaxCols - 1, int64_t{l.col} + std::max(1, l.cols) - 1);
    out.push_back({&l, Rect{l.row, l.col, static_cast<int32_t>(r2), static_cast<int32_t>(c2)}});
  }
  return out;
}

size_t ExternalLinks(const std::vector<LinkToWrite>& links) {
  return static_cast<size_t>(std::count_if(links.begin(), links.end(),
                                           [](const LinkToWrite& l) { return !l.link->target.empty(); }));
}

// Merged ranges of two cells or more inside the sheet; a range that overlaps one kept
// before it is left out, as the spreadsheet refuses a file with overlapping merges.
std::vector<Rect> MergesToWrite(const SheetData& d) {
  std::vector<Rect> all;
  for (const Rect& m : d.merges)
    if (!m.empty() && (m.rows() > 1 || m.cols() > 1) && m.r1 >= 0 && m.c1 >= 0 &&
        m.r2 < kMaxRows && m.c2 < kMaxCols)
      all.push_back(m);
  std::sort(all.begin(), all.end(), [](const Rect& a, const Rect& b) {
    return a.r1 != b.r1 ? a.r1 < b.r1 : a.c1 < b.c1;
  });
  std::vector<Rect> kept, open;  // open: kept ranges that reach the current row
  for (const Rect& m : all) {
    std::erase_if(open, [&](const Rect& o) { return o.r2 < m.r1; });
    bool overlaps = std::any_of(open.begin(), open.end(),
                                [&](const Rect& o) { return o.c1 <= m.c2 && m.c1 <= o.c2; });
    if (overlaps) continue;
    kept.push_back(m);
    open.push_back(m);
  }
  return kept;
}

}  // namespace

SheetPart::SheetPart(const SheetData& d, const std::vector<Style>* styles,
                     std::vector<uint32_t>& xfCache, StylesPart& stylesPart,
                     SharedStringsPart& strings, SheetPartOptions options)
    : d_(d),
      styles_(styles),
      xfCache_(xfCache),
      stylesPart_(stylesPart),
      shared_(strings.pool(d.shared.get())),
      own_(strings.pool(&d.strings)),
      strings_(strings),
      options_(options) {
  if (styles_ && xfCache_.size() < styles_->size()) xfCache_.resize(styles_->size(), kUnknown);
}

uint32_t SheetPart::xf(uint32_t style) {
  if (!styles_ || style >= styles_->size()) return 0;
  uint32_t& slot = xfCache_[style];
  if (slot == kUnknown) slot = stylesPart_.cellFormat((*styles_)[style]);
  return slot;
}

bool SheetPart::HasDynamicArrays(const SheetData& d) {
  return std::any_of(d.formulas.begin(), d.formulas.end(),
                     [](const Formula& f) { return f.kind == FormulaKind::DynamicArray; });
}

uint64_t SheetPart::MaxXmlBytes(const SheetData& d) {
  // A cell with its row takes at most a few hundred bytes besides its texts; an escaped text
  // at most seven bytes for each of its own.
  uint64_t bytes = 65536 + 256 * (d.cells.size() + d.rowInfo.size() + d.colInfo.size() +
                                  d.merges.size() + d.links.size());
  for (const Formula& f : d.formulas) bytes += 7 * (f.text.size() + f.cachedString.size());
  for (const Hyperlink& l : d.links) bytes += 7 * (l.location.size() + l.tooltip.size() + l.display.size());
  return bytes;
}

void SheetPart::writeHead(ByteBuffer& out) {
  out.append(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">");
  Rect used{INT32_MAX, INT32_MAX, -1, -1};
  auto take = [&](int32_t r, int32_t c) {
    used.r1 = std::min(used.r1, r);
    used.c1 = std::min(used.c1, c);
    used.r2 = std::max(used.r2, r);
    used.c2 = std::max(used.c2, c);
  };
  for (const Cell& c : d_.cells)
    if (kSheet.contains(static_cast<int32_t>(c.row), c.col)) take(static_cast<int32_t>(c.row), c.col);
  for (const Comment& c : d_.comments)
    if (kSheet.contains(c.row, c.col)) take(c.row, c.col);
  // Rows and columns with a size or format of their own are in use too.
  for (const RowInfo& r : d_.rowInfo)
    if (r.row >= 0 && r.row < kMaxRows && (r.height >= 0 || r.hidden || r.hasStyle)) take(r.row, used.empty() ? 0 : used.c1);
  for (const ColInfo& c : d_.colInfo)
    if (c.first >= 0 && c.last < kMaxCols && c.first <= c.last && (c.width >= 0 || c.hidden || c.hasStyle)) {
      take(used.empty() ? 0 : used.r1, c.first);
      take(used.r1, c.last);
    }
  out.append("<dimension ref=\"");
  out.append(used.empty() ? std::string("A1") : FormatRange(used));
  out.append("\"/><sheetViews><sheetView");
  if (options_.selected) out.append(" tabSelected=\"1\"");
  out.append(" workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>");
  writeCols(out);
}

void SheetPart::writeCols(ByteBuffer& out) {
  bool any = false;
  for (const ColInfo& c : d_.colInfo) {
    if (c.width < 0 && !c.hidden && !c.hasStyle) continue;
    int32_t first = std::max(0, c.first), last = std::min(kMaxCols - 1, c.last);
    if (first > last) continue;
    out.append(any ? "<col" : "<cols><col");
    any = true;
    AppendNumberAttr(out, "min", first + 1);
    AppendNumberAttr(out, "max", last + 1);
    if (c.width >= 0 && std::isfinite(c.width)) {
      AppendNumberAttr(out, "width", c.width);
      out.append(" customWidth=\"1\"");
    } else {
      out.append(" width=\"");
      out.append(kDefaultColWidth);
      out.push('"');
    }
    if (c.hasStyle) {
      AppendNumberAttr(out, "style", xf(c.style));
      if (styledCols_.empty()) styledCols_.assign(kMaxCols, false);
      for (int32_t k = first; k <= last; ++k) styledCols_[static_cast<size_t>(k)] = true;
    }
    if (c.hidden) out.append(" hidden=\"1\"");
    out.append("/>");
  }
  if (any) out.append("</cols>");
}

void SheetPart::writeRowStart(ByteBuffer& out, uint32_t row, const RowInfo* info) {
  rowLen_ = static_cast<size_t>(WriteUnsigned(rowText_, uint64_t{row} + 1) - rowText_);
  out.append("<row r=\"");
  out.append(rowText_, rowLen_);
  out.push('"');
  if (info && info->hasStyle) {
    AppendNumberAttr(out, "s", xf(info->style));
    out.append(" customFormat=\"1\"");
  }
  if (info && info->height >= 0 && std::isfinite(info->height)) {
    AppendNumberAttr(out, "ht", info->height);
    out.append(" customHeight=\"1\"");
  }
  if (info && info->hidden) out.append(" hidden=\"1\"");
}

// A row that holds no cell but has a height, format or visibility of its own.
void SheetPart::writeBareRow(ByteBuffer& out, const RowInfo& info) {
  writeRowStart(out, static_cast<uint32_t>(info.row), &info);
  out.append("/>");
}

void SheetPart::writeCell(ByteBuffer& out, const Cell& c) {
  const ColumnLetters& letters = Letters();
  uint32_t format = xf(c.style);
  char* p = out.room(kCellRoom);
  p = Put(p, "<c r=\"");
  std::memcpy(p, letters.text[c.col], 4);
  p += letters.len[c.col];
  std::memcpy(p, rowText_, rowLen_);
  p += rowLen_;
  *p++ = '"';
  if (format) {
    p = Put(p, " s=\"");
    p = WriteUnsigned(p, format);
    *p++ = '"';
  }
  switch (c.type) {
    case CellType::Blank:
      p = Put(p, "/>");
      break;
    case CellType::Number:
      if (std::isfinite(c.number())) {
        p = Put(p, "><v>");
        p = WriteNumber(p, c.number());
      } else {
        // Not a number a cell can hold: shown as the error the spreadsheet gives it.
        p = Put(p, " t=\"e\"><v>#NUM!");
      }
      p = Put(p, "</v></c>");
      break;
    case CellType::String: {
      SharedStringsPart::Pool& pool = c.inSharedStrings() ? shared_ : own_;
      uint32_t index = pool.has(c.stringIndex()) ? pool.index(c.stringIndex()) : strings_.intern({});
      p = Put(p, " t=\"s\"><v>");
      p = WriteUnsigned(p, index);
      p = Put(p, "</v></c>");
      break;
    }
    case CellType::Bool:
      p = Put(p, c.boolean() ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>");
      break;
    case CellType::Error:
      p = Put(p, " t=\"e\"><v>");
      p = Put(p, ErrorText(c.error()));
      p = Put(p, "</v></c>");
      break;
    case CellType::Formula:
      writeFormula(out, c, p);
      return;
  }
  out.commit(p);
}

// `p`: where the cell's XML stands after its reference and format.
void SheetPart::writeFormula(ByteBuffer& out, const Cell& c, char* p) {
  if (c.formulaIndex() >= d_.formulas.size())
    throw std::invalid_argument("cell " + FormatA1(static_cast<int32_t>(c.row), c.col) +
                                " refers to a formula the sheet does not hold");
  const Formula& f = d_.formula(c);
  CachedKind cached = c.cached();
  bool badNumber = cached == CachedKind::Number && !std::isfinite(c.number());
  switch (cached) {
    case CachedKind::String: p = Put(p, " t=\"str\""); break;
    case CachedKind::Bool: p = Put(p, " t=\"b\""); break;
    case CachedKind::Error: p = Put(p, " t=\"e\""); break;
    case CachedKind::Number:
      if (badNumber) p = Put(p, " t=\"e\"");
      break;
    case CachedKind::None: break;
  }
  const int32_t row = static_cast<int32_t>(c.row), col = c.col;
  if (f.kind != FormulaKind::Normal) {
    if (f.kind == FormulaKind::DynamicArray) {
      p = Put(p, " cm=\"1\"");
    }
    // An array's range starts at its formula's cell; any other range stands for that cell.
    Rect r = f.arrayRange;
    if (r.empty() || r.r1 != row || r.c1 != col || !kSheet.contains(r.r2, r.c2))
      r = Rect{row, col, row, col};
    p = Put(p, "><f t=\"array\" ref=\"");
    out.commit(p);
    out.append(FormatRange(r));
    out.append("\">");
  } else {
    p = Put(p, "><f>");
    out.commit(p);
  }
  AppendXml(out, f.text, XmlText::Content);
  out.append("</f>");
  switch (cached) {
    case CachedKind::None:
      break;
    case CachedKind::Number:
      out.append("<v>");
      if (badNumber) out.append("#NUM!");
      else AppendNumber(out, c.number());
      out.append("</v>");
      break;
    case CachedKind::Bool:
      out.append(c.boolean() ? "<v>1</v>" : "<v>0</v>");
      break;
    case CachedKind::Error:
      out.append("<v>");
      out.append(ErrorText(f.cachedErrorCode()));
      out.append("</v>");
      break;
    case CachedKind::String:
      out.append("<v>");
      AppendXml(out, CutToUtf16Units(f.cachedString, kMaxCellUnits), XmlText::CellText);
      out.append("</v>");
      break;
  }
  out.append("</c>");
}

void SheetPart::write(DeflatedEntry& entry) {
  ByteBuffer& out = entry.out();
  const std::vector<Cell>& cells = d_.cells;
  bool sorted = true;
  for (size_t i = 1; i < cells.size() && sorted; ++i) sorted = Before(cells[i - 1], cells[i]);
  if (!sorted) {
    // Cells in order; of two at one place the later given wins, as when a sheet sorts them.
    order_.resize(cells.size());
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
    std::stable_sort(order_.begin(), order_.end(),
                     [&](uint32_t a, uint32_t b) { return Before(cells[a], cells[b]); });
    size_t kept = 0;
    for (size_t i = 0; i < order_.size(); ++i) {
      if (kept > 0 && !Before(cells[order_[kept - 1]], cells[order_[i]]))
        order_[kept - 1] = order_[i];
      else
        order_[kept++] = order_[i];
    }
    order_.resize(kept);
  }

  writeHead(out);
  out.append("<sheetData>");

  // Rows with something of their own to say (height, hidden, format), in order.
  std::vector<const RowInfo*> infos;
  for (const RowInfo& r : d_.rowInfo)
    if ((r.height >= 0 || r.hidden || r.hasStyle) && r.row >= 0 && r.row < kMaxRows) infos.push_back(&r);
  size_t nextInfo = 0;
  auto bareRowsBefore = [&](int64_t row) {
    for (; nextInfo < infos.size() && infos[nextInfo]->row < row; ++nextInfo) {
      writeBareRow(out, *infos[nextInfo]);
    }
  };

  const size_t n = sorted ? cells.size() : order_.size();
  int64_t current = -1;      // row of the cells at hand
  const RowInfo* info = nullptr;
  bool open = false;         // its <row> is written
  for (size_t k = 0; k < n; ++k) {
    const Cell& c = sorted ? cells[k] : cells[order_[k]];
    if (c.row >= static_cast<uint32_t>(kMaxRows) || c.col >= kMaxCols) continue;
    if (c.row != current) {
      if (open) out.append("</row>");
      else if (info) writeBareRow(out, *info);
      bareRowsBefore(c.row);
      info = nextInfo < infos.size() && infos[nextInfo]->row == static_cast<int32_t>(c.row)
                 ? infos[nextInfo++]
                 : nullptr;
      current = c.row;
      open = false;
      rowStyled_ = info && info->hasStyle;
    }
    // A blank cell without a format of its own says something only where its row or
    // column would give it one.
    if (c.type == CellType::Blank && xf(c.style) == 0 && !rowStyled_ &&
        (styledCols_.empty() || !styledCols_[c.col]))
      continue;
    if (!open) {
      writeRowStart(out, c.row, info);
      out.push('>');
      open = true;
    }
    writeCell(out, c);
    entry.flushIfFull();
  }
  if (open) out.append("</row>");
  else if (info) writeBareRow(out, *info);
  bareRowsBefore(kMaxRows);
  out.append("</sheetData>");
  writeTail(out);
}

void SheetPart::writeTail(ByteBuffer& out) {
  std::vector<Rect> merges = MergesToWrite(d_);
  if (!merges.empty()) {
    out.append("<mergeCells");
    AppendNumberAttr(out, "count", static_cast<double>(merges.size()));
    out.push('>');
    for (const Rect& m : merges) {
      out.append("<mergeCell ref=\"");
      out.append(FormatRange(m));
      out.append("\"/>");
    }
    out.append("</mergeCells>");
  }
  std::vector<LinkToWrite> links = LinksToWrite(d_);
  if (!links.empty()) {
    out.append("<hyperlinks>");
    size_t rel = 0;
    for (const LinkToWrite& l : links) {
      out.append("<hyperlink ref=\"");
      out.append(FormatRange(l.ref));
      out.push('"');
      if (!l.link->target.empty()) {
        out.append(" r:id=\"rId");
        AppendUnsigned(out, ++rel);
        out.push('"');
      }
      if (!l.link->location.empty()) AppendAttr(out, "location", l.link->location);
      if (!l.link->tooltip.empty())
        AppendAttr(out, "tooltip", CutToUtf16Units(l.link->tooltip, kMaxTooltipUnits));
      if (!l.link->display.empty()) AppendAttr(out, "display", l.link->display);
      out.append("/>");
    }
    out.append("</hyperlinks>");
  }
  out.append(
      "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
      "footer=\"0.3\"/>");
  if (options_.hasComments) {
    out.append("<legacyDrawing r:id=\"rId");
    AppendUnsigned(out, ExternalLinks(links) + 1);
    out.append("\"/>");
  }
  out.append("</worksheet>");
}

std::string SheetRelationships(const SheetData& d, bool hasComments, int partNumber) {
  std::vector<LinkToWrite> links = LinksToWrite(d);
  size_t external = ExternalLinks(links);
  if (external == 0 && !hasComments) return {};
  ByteBuffer out;
  out.append(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
  size_t rel = 0;
  auto relationship = [&](std::string_view type, std::string_view target, bool externalMode) {
    out.append("<Relationship Id=\"rId");
    AppendUnsigned(out, ++rel);
    out.append("\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
    out.append(type);
    out.push('"');
    AppendAttr(out, "Target", target);
    if (externalMode) out.append(" TargetMode=\"External\"");
    out.append("/>");
  };
  for (const LinkToWrite& l : links)
    if (!l.link->target.empty()) relationship("hyperlink", l.link->target, true);
  if (hasComments) {
    std::string n = std::to_string(partNumber);
    relationship("vmlDrawing", "../drawings/vmlDrawing" + n + ".vml", false);
    relationship("comments", "../comments" + n + ".xml", false);
  }
  out.append("</Relationships>");
  return std::string(out.view());
}

}  // namespace corvane
